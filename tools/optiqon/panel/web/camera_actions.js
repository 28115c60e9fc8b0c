// Save to camera, Factory reset (after the user confirms it) and the password, for the chosen
// camera.
import { cameraPath, request } from "./api.js";
import { say } from "./dom.js";

const HexPassword = /^[0-9a-f]{4}$/i;

// `current()` is the chosen camera; `onDone(what)` hears of an action that changed the camera's
// settings, so that they are read again.
export function setUpCameraActions(current, onDone, onFailure) {
  const result = document.getElementById("camera-result");
  const run = async (path, body, done) => {
    const camera = current();
    if (camera === null) {
      return;
    }
    say(result, "");
    try {
      await request("POST", cameraPath(camera, path), body);
      say(result, done);
      onDone(path);
    } catch (error) {
      say(result, error.message);
      onFailure(error);
    }
  };

  document.getElementById("save").addEventListener("click", () => {
    run("save", undefined, "The camera has stored its settings.");
  });

  const resetDialog = document.getElementById("reset-dialog");
  document.getElementById("reset").addEventListener("click", () => {
    const camera = current();
    if (camera !== null) {
      say(
        document.getElementById("reset-dialog-text"),
        `${camera.serial_number ?? camera.location} goes back to its factory settings.`,
      );
      resetDialog.returnValue = "";
      resetDialog.showModal();
    }
  });
  resetDialog.addEventListener("close", () => {
    if (resetDialog.returnValue === "reset") {
      run("reset", undefined, "The camera is back at its factory settings.");
    }
  });

  const password = document.getElementById("password");
  document.getElementById("password-form").addEventListener("submit", (event) => {
    event.preventDefault();
    if (!HexPassword.test(password.value)) {
      say(result, `'${password.value}' is not four hexadecimal digits: nothing sent`);
      return;
    }
    run("password", { password: password.value }, "The camera took the password.");
  });
}
