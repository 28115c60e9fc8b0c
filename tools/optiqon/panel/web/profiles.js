// Profiles of the chosen camera: export (a download), import (checked whole by the panel, shown
// as a dry run first, applied only when the user says so) and the kept profile that the watcher
// gives the camera whenever it is plugged in.
import { cameraPath, download, request } from "./api.js";
import { element, say } from "./dom.js";

function valueText(value) {
  return Array.isArray(value) ? value.join(",") : String(value);
}

function saveAs(name, blob) {
  const address = URL.createObjectURL(blob);
  const link = element("a", { href: address, download: name, hidden: true });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(address), 60000);
}

// What an applied profile did, in one line: how many values took, and each that did not.
function appliedText(values) {
  const refused = values.filter((value) => !value.took);
  const took = values.length - refused.length;
  const lines = [`Profile applied: ${took} value${took === 1 ? "" : "s"} set.`];
  for (const value of refused) {
    lines.push(`${value.name} did not take: ${value.refusal ?? "the camera holds another value"}.`);
  }
  return lines.join(" ");
}

export function setUpProfiles(current, onApplied, onFailure) {
  const result = document.getElementById("profile-result");
  const changes = document.getElementById("profile-changes");
  const changeList = document.getElementById("profile-change-list");
  const file = document.getElementById("profile-file");
  let chosen = null; // the profile's text, while its dry run is shown

  const hideChanges = () => {
    chosen = null;
    changes.hidden = true;
    changeList.replaceChildren();
  };

  document.getElementById("export-profile").addEventListener("click", async () => {
    const camera = current();
    say(result, "");
    try {
      const { name, blob } = await download(cameraPath(camera, "profile"));
      saveAs(name, blob);
      say(result, `Exported as ${name}.`);
    } catch (error) {
      say(result, error.message);
      onFailure(error);
    }
  });

  document.getElementById("import-profile").addEventListener("click", () => file.click());
  file.addEventListener("change", async () => {
    const picked = file.files[0];
    file.value = "";
    hideChanges();
    say(result, "");
    if (picked === undefined) {
      return;
    }
    const text = await picked.text();
    try {
      const answer = await request("POST", `${cameraPath(current(), "profile")}${dryRunQuery(current())}`, text);
      chosen = text;
      changeList.replaceChildren(
        ...answer.changes.map((change) =>
          element("li", { text: `${change.name}: ${valueText(change.current)} → ${valueText(change.profile)}` }),
        ),
      );
      if (answer.changes.length === 0) {
        changeList.append(element("li", { text: "The profile changes nothing." }));
      }
      changes.hidden = false;
      document.getElementById("apply-profile").focus();
    } catch (error) {
      const problems = error.problems.map((problem) => problem.message);
      say(result, [`${picked.name}: ${error.message}`, ...problems].join(". "));
      onFailure(error);
    }
  });

  document.getElementById("cancel-profile").addEventListener("click", () => {
    hideChanges();
    say(result, "Nothing sent.");
  });
  document.getElementById("apply-profile").addEventListener("click", async () => {
    const text = chosen;
    hideChanges();
    if (text === null) {
      return;
    }
    try {
      const answer = await request("POST", cameraPath(current(), "profile"), text);
      say(result, appliedText(answer.values));
    } catch (error) {
      say(result, Array.isArray(error.answer?.values) ? appliedText(error.answer.values) : error.message);
      onFailure(error);
    }
    onApplied();
  });

  const keptState = document.getElementById("kept-state");
  const showKept = async () => {
    const camera = current();
    if (camera === null) {
      return;
    }
    if (camera.serial_number === null) {
      say(keptState, "A camera without a serial number cannot have settings that follow it.");
      return;
    }
    try {
      const kept = await request("GET", cameraPath(camera, "kept"));
      say(
        keptState,
        kept.profile === null
          ? `The kept profile cannot be used: ${kept.unusable}`
          : `Kept in ${kept.file}: the watcher gives them back whenever the camera is plugged in.`,
      );
    } catch (error) {
      say(keptState, error.status === 404 ? "No settings are kept for this camera." : error.message);
    }
  };
  document.getElementById("remember").addEventListener("click", async () => {
    try {
      await request("PUT", cameraPath(current(), "kept"));
    } catch (error) {
      say(keptState, error.message);
      onFailure(error);
      return;
    }
    showKept();
  });
  document.getElementById("forget").addEventListener("click", async () => {
    try {
      await request("DELETE", cameraPath(current(), "kept"));
    } catch (error) {
      say(keptState, error.message);
      return;
    }
    showKept();
  });

  return {
    // A camera newly chosen: nothing of the last one's import stays.
    cameraChosen() {
      hideChanges();
      say(result, "");
      showKept();
    },
  };
}

// The dry run's query, after the location a camera may need.
function dryRunQuery(camera) {
  return cameraPath(camera, "profile").includes("?") ? "&dry_run=1" : "?dry_run=1";
}
