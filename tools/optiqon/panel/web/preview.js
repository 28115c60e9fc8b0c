// The live preview, from the browser's own media devices. A browser names its video inputs but
// never tells a serial number, so the preview starts on the first input whose name is the
// camera's model and lets the user choose another.
import { element, say } from "./dom.js";

const CameraName = /optiqon|k3m51|corvantis/i;

function reasonOf(error) {
  switch (error?.name) {
    case "NotAllowedError":
      return "The browser was not allowed to use the camera: allow it in the address bar and try again.";
    case "NotFoundError":
      return "The browser finds no camera to show.";
    case "NotReadableError":
      return "The camera's video is in use by another program.";
    default:
      return `The browser cannot show the camera: ${error?.message ?? error}`;
  }
}

export function setUpPreview() {
  const button = document.getElementById("show-preview");
  const chooser = document.getElementById("preview-device");
  const state = document.getElementById("preview-state");
  const video = document.getElementById("preview");
  let stream = null;

  const stop = () => {
    stream?.getTracks().forEach((track) => track.stop());
    stream = null;
    video.srcObject = null;
    video.hidden = true;
    button.textContent = "Show live preview";
  };

  const start = async (deviceId) => {
    stop();
    stream = await navigator.mediaDevices.getUserMedia({
      video: deviceId === undefined ? true : { deviceId: { exact: deviceId } },
      audio: false,
    });
    video.srcObject = stream;
    video.hidden = false;
    button.textContent = "Stop live preview";
    return stream.getVideoTracks()[0]?.getSettings().deviceId;
  };

  // The video inputs, once the browser may name them (after the first permission).
  const listInputs = async (showing) => {
    const inputs = (await navigator.mediaDevices.enumerateDevices()).filter((device) => device.kind === "videoinput");
    chooser.replaceChildren(
      ...inputs.map((input, index) =>
        element("option", { value: input.deviceId, text: input.label || `video input ${index + 1}` }),
      ),
    );
    chooser.value = showing ?? "";
    chooser.hidden = inputs.length < 2;
    chooser.labels.forEach((label) => (label.hidden = chooser.hidden));
    return inputs;
  };

  button.addEventListener("click", async () => {
    if (stream !== null) {
      stop();
      say(state, "");
      return;
    }
    if (navigator.mediaDevices?.getUserMedia === undefined) {
      say(state, "This browser offers no camera to the page.");
      return;
    }
    try {
      let showing = await start();
      const inputs = await listInputs(showing);
      const camera = inputs.find((input) => CameraName.test(input.label));
      if (camera !== undefined && camera.deviceId !== showing) {
        showing = await start(camera.deviceId);
        chooser.value = showing;
      }
      say(state, `Showing ${chooser.selectedOptions[0]?.textContent ?? "the camera"}.`);
    } catch (error) {
      stop();
      say(state, reasonOf(error));
    }
  });

  chooser.addEventListener("change", async () => {
    try {
      await start(chooser.value);
      say(state, `Showing ${chooser.selectedOptions[0]?.textContent}.`);
    } catch (error) {
      stop();
      say(state, reasonOf(error));
    }
  });
}
