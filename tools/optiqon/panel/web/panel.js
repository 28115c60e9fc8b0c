// The panel's page: the cameras as the panel's events list them, and for the chosen one its
// settings, actions, profiles, firmware update and preview. Without the run's token in its
// address the page shows nothing of the cameras: the interface refuses every request.
import { cameraPath, followEvents, hasToken, request } from "./api.js";
import { setUpCameraActions } from "./camera_actions.js";
import { showControls } from "./controls.js";
import { element, say } from "./dom.js";
import { setUpFirmware } from "./firmware.js";
import { setUpPreview } from "./preview.js";
import { setUpProfiles } from "./profiles.js";
import { showProperties } from "./properties.js";

const NoTokenText = "Open the address the panel printed, with its token: it is the panel's key to the cameras.";
const RefusedText = "The panel refused the token: open the address this run of the panel printed.";

const page = {
  cameras: [],
  chosen: null,
};

function nameOf(camera) {
  return camera.serial_number ?? `the camera at ${camera.location}`;
}

function refuseAccess(text) {
  const access = document.getElementById("access");
  say(access, text);
  access.hidden = false;
  document.getElementById("layout").hidden = true;
}

// A failure of the whole camera (pulled out, being updated, gone) said above its settings.
function cameraFailed(error) {
  if ([404, 409, 410].includes(error.status) || error.status === 0) {
    say(document.getElementById("camera-busy"), error.message);
  }
}

async function showSettings(camera) {
  const busy = document.getElementById("camera-busy");
  try {
    const settings = await request("GET", cameraPath(camera, "settings"));
    if (page.chosen !== camera) {
      return; // another camera was chosen meanwhile
    }
    say(busy, "");
    showProperties(document.getElementById("properties"), camera, settings, cameraFailed);
    showControls(document.getElementById("controls"), camera, settings, cameraFailed);
  } catch (error) {
    if (page.chosen === camera) {
      say(busy, error.message);
      document.getElementById("properties").replaceChildren();
      document.getElementById("controls").replaceChildren();
    }
  }
}

function markChosen() {
  for (const button of document.querySelectorAll("#camera-list button")) {
    button.setAttribute("aria-pressed", String(button.dataset.location === page.chosen?.location));
  }
}

let profiles;
let firmware;

function choose(camera) {
  page.chosen = camera;
  markChosen();
  const main = document.getElementById("camera");
  main.hidden = camera === null;
  firmware.cameraChosen(camera);
  if (camera === null) {
    return;
  }
  say(document.getElementById("camera-serial"), nameOf(camera));
  say(document.getElementById("camera-location"), `Plugged in at ${camera.location}`);
  say(document.getElementById("camera-busy"), "");
  // The last camera's rows go at once: until the new camera's settings come, none drive a camera.
  document.getElementById("properties").replaceChildren();
  document.getElementById("controls").replaceChildren();
  profiles.cameraChosen();
  showSettings(camera);
}

function cameraButton(camera) {
  const button = element(
    "button",
    { type: "button", "data-location": camera.location, "aria-pressed": "false" },
    element("span", { class: "serial", text: camera.serial_number ?? "no serial number" }),
    " ",
    element("span", { class: "location", text: camera.location }),
  );
  button.addEventListener("click", () => {
    const now = page.cameras.find((known) => known.location === camera.location);
    if (now !== undefined) {
      choose(now);
    }
  });
  return element("li", {}, button);
}

// The list as the panel's `cameras` event gives it: the chosen camera stays chosen while it is
// plugged in; one pulled out is said so, and the first camera left is chosen.
function camerasChanged(list) {
  const serials = list.map((camera) => camera.serial_number);
  for (const camera of list) {
    camera.duplicate = camera.serial_number !== null && serials.filter((s) => s === camera.serial_number).length > 1;
  }
  const news = document.getElementById("camera-news");
  const before = new Set(page.cameras.map((camera) => camera.location));
  const now = new Set(list.map((camera) => camera.location));
  const gone = page.cameras.filter((camera) => !now.has(camera.location));
  const came = list.filter((camera) => !before.has(camera.location));
  const lines = [
    ...gone.map((camera) => `${nameOf(camera)} was unplugged.`),
    ...(page.cameras.length > 0 ? came.map((camera) => `${nameOf(camera)} was plugged in.`) : []),
  ];
  if (lines.length > 0) {
    say(news, lines.join(" "));
  }
  page.cameras = list;
  document.getElementById("camera-list").replaceChildren(...list.map(cameraButton));
  document.getElementById("no-cameras").hidden = list.length > 0;
  const stillChosen = list.find((camera) => camera.location === page.chosen?.location);
  if (stillChosen !== undefined) {
    // Same place; the same camera unless its serial number changed.
    if (stillChosen.serial_number !== page.chosen.serial_number) {
      choose(stillChosen);
    } else {
      page.chosen = stillChosen;
      markChosen();
    }
  } else {
    choose(list[0] ?? null);
  }
}

function connectionChanged(state) {
  const connection = document.getElementById("connection");
  if (state === "refused") {
    refuseAccess(RefusedText);
    return;
  }
  if (state === "connected") {
    document.getElementById("layout").hidden = false;
    say(connection, "");
  } else {
    say(connection, "The connection to the panel is lost; trying again.");
  }
}

function start() {
  if (!hasToken()) {
    refuseAccess(NoTokenText);
    return;
  }
  const current = () => page.chosen;
  const reread = () => {
    if (page.chosen !== null) {
      showSettings(page.chosen);
    }
  };
  setUpCameraActions(current, (action) => action === "reset" && reread(), cameraFailed);
  profiles = setUpProfiles(current, reread, cameraFailed);
  firmware = setUpFirmware(current, cameraFailed);
  setUpPreview();
  followEvents((name, data) => {
    if (name === "cameras" && Array.isArray(data.cameras)) {
      camerasChanged(data.cameras);
    } else if (name === "update") {
      firmware.updated(data);
    }
  }, connectionChanged);
}

start();
