// Sends the values a user moves to one camera: one request at a time, each carrying the latest
// value of every name changed since the one before. A slider dragged faster than the camera
// answers sends fewer values, and always its last.
import { cameraPath, request } from "./api.js";

export class ValueSender {
  #camera;
  #onAnswer;
  #onFailure;
  #pending = new Map();
  #busy = false;

  // `onAnswer(values)` gets each value as the camera read it back; `onFailure(error, names)` a
  // request that failed and the names it carried.
  constructor(camera, onAnswer, onFailure) {
    this.#camera = camera;
    this.#onAnswer = onAnswer;
    this.#onFailure = onFailure;
  }

  send(name, value) {
    this.#pending.set(name, value);
    if (!this.#busy) {
      this.#flush();
    }
  }

  // Whether a value is still waiting to be sent.
  waiting(name) {
    return this.#pending.has(name);
  }

  async #flush() {
    this.#busy = true;
    while (this.#pending.size > 0) {
      const body = Object.fromEntries(this.#pending);
      this.#pending.clear();
      try {
        const answer = await request("PUT", cameraPath(this.#camera, "settings"), body);
        this.#onAnswer(answer.values);
      } catch (error) {
        // A value the camera refused is still read back: the answer names what it holds.
        if (Array.isArray(error.answer?.values)) {
          this.#onAnswer(error.answer.values);
        }
        this.#onFailure(error, Object.keys(body));
      }
    }
    this.#busy = false;
  }
}
