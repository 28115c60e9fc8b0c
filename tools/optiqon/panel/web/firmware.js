// The firmware update of the chosen camera: the image checked as it is chosen, a confirmation,
// then its progress and verdict as the panel's events tell them. The update runs in the panel, so
// leaving or reloading the page never stops it; the events give a reopened page its state.
import { cameraPath, request } from "./api.js";
import { say } from "./dom.js";

const PageSize = 256;
const MostPages = 65535;

function imageProblem(image) {
  if (image.size === 0) {
    return `${image.name} is empty: nothing to write.`;
  }
  if (image.size > PageSize * MostPages) {
    return `${image.name} is ${image.size} bytes, more than the camera's flash takes (${PageSize * MostPages}).`;
  }
  return null;
}

function pagesOf(image) {
  return Math.ceil(image.size / PageSize);
}

function progressText(state) {
  switch (state.stage) {
    case "waiting":
      return "Waiting for the camera's turn.";
    case "erasing":
      return "Erasing the flash.";
    default: {
      const left = state.seconds_left === null ? "" : `, about ${state.seconds_left} s left`;
      return `${state.pages_written} of ${state.pages} pages written${left}`;
    }
  }
}

function verdictText(verdict) {
  return verdict.failure === null || verdict.text.includes(verdict.failure)
    ? verdict.text
    : `${verdict.text} (${verdict.failure})`;
}

export function setUpFirmware(current, onFailure) {
  const file = document.getElementById("firmware-file");
  const checks = document.getElementById("firmware-checks");
  const button = document.getElementById("update-firmware");
  const dialog = document.getElementById("update-dialog");
  const progress = document.getElementById("firmware-progress");
  const bar = document.getElementById("firmware-bar");
  const pages = document.getElementById("firmware-pages");
  const verdict = document.getElementById("firmware-verdict");
  // The last state of each camera's update, by location: what the page shows when one is chosen.
  const states = new Map();
  let image = null;
  let eventsSeen = 0;

  const show = (state) => {
    if (state === undefined) {
      progress.hidden = true;
      say(verdict, "");
      return;
    }
    progress.hidden = false;
    bar.max = Math.max(state.pages, 1);
    bar.value = state.pages_written;
    say(pages, progressText(state));
    say(verdict, state.verdict === null ? "" : verdictText(state.verdict));
    const running = state.verdict === null;
    button.disabled = running || image === null;
  };

  file.addEventListener("change", () => {
    image = file.files[0] ?? null;
    const problem = image === null ? null : imageProblem(image);
    if (problem !== null) {
      image = null;
    }
    say(
      checks,
      problem ?? (image === null ? "" : `${image.name}: ${image.size} bytes, ${pagesOf(image)} pages of ${PageSize} bytes.`),
    );
    const running = states.get(current()?.location)?.verdict === null;
    button.disabled = image === null || running;
  });

  button.addEventListener("click", () => {
    const camera = current();
    if (camera === null || image === null) {
      return;
    }
    say(
      document.getElementById("update-dialog-text"),
      `${image.name} (${pagesOf(image)} pages) is written to ${camera.serial_number ?? camera.location}.`,
    );
    dialog.returnValue = "";
    dialog.showModal();
  });
  dialog.addEventListener("close", async () => {
    const camera = current();
    if (dialog.returnValue !== "start" || camera === null || image === null) {
      return;
    }
    button.disabled = true;
    say(verdict, "");
    const eventsBefore = eventsSeen;
    try {
      const state = await request("POST", cameraPath(camera, "update"), image);
      // The events may have told of this update before its answer came: theirs is newer.
      if (eventsSeen === eventsBefore) {
        record(state);
      }
    } catch (error) {
      say(verdict, error.message);
      button.disabled = false;
      onFailure(error);
    }
  });

  const record = (state) => {
    states.set(state.location, state);
    if (current()?.location === state.location) {
      show(state);
    }
  };

  return {
    updated(state) {
      eventsSeen += 1;
      record(state);
    },
    cameraChosen(camera) {
      show(camera === null ? undefined : states.get(camera.location));
      button.disabled = image === null || states.get(camera?.location)?.verdict === null;
    },
  };
}
