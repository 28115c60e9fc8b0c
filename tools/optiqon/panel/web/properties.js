// The camera's image properties: a slider each with the range, step and default the camera gives,
// the value it reads back beside it, and an Auto switch where the camera offers an automatic
// mode. A slider sends while it moves; what the camera holds comes back into the row.
import { element, newId, say } from "./dom.js";
import { ValueSender } from "./value_sender.js";

function rangeText(property) {
  return `${property.minimum} to ${property.maximum}, step ${property.step}, default ${property.default}`;
}

// One property's row; `sender` carries its changes to the camera.
function propertyRow(property, sender) {
  const id = newId("property");
  const messageId = `${id}-message`;
  const readable = property.unreadable === null && property.minimum !== null;
  const slider = element("input", {
    type: "range",
    id,
    min: property.minimum,
    max: property.maximum,
    step: property.step > 0 ? property.step : 1,
    value: property.value ?? property.default ?? 0,
    disabled: !readable,
    "aria-describedby": `${id}-range ${messageId}`,
  });
  const output = element("output", { for: id, text: property.value ?? "–" });
  const row = element(
    "div",
    { class: "property" },
    element("label", { for: id, text: property.name }),
    slider,
    output,
  );
  let automatic = null;
  if (property.automatic_mode) {
    const switchId = `${id}-auto`;
    automatic = element("input", {
      type: "checkbox",
      role: "switch",
      id: switchId,
      "aria-label": `${property.name} auto`,
      checked: property.automatic === true,
    });
    row.append(element("span", { class: "auto" }, automatic, element("label", { for: switchId, text: "Auto" })));
  } else {
    row.append(element("span", { class: "auto" }));
  }
  const message = element("span", { id: messageId, class: "message", role: "alert" });
  row.append(
    element("span", { id: `${id}-range`, class: "quiet range", text: readable ? rangeText(property) : "" }),
    message,
  );
  if (!readable) {
    say(message, property.unreadable ?? "the camera gave no range for it");
  }

  let dragging = false;
  slider.addEventListener("pointerdown", () => (dragging = true));
  slider.addEventListener("pointerup", () => (dragging = false));
  // The number beside the slider is only ever what the camera read back, never the hand's.
  slider.addEventListener("input", () => sender.send(property.name, Number(slider.value)));
  automatic?.addEventListener("change", () => {
    sender.send(property.name, automatic.checked ? "auto" : Number(slider.value));
  });

  return {
    row,
    // What the camera read back: shown, and the slider put where the camera holds it once the
    // user has let go and nothing more waits to be sent.
    show(value) {
      if (value.value !== null && value.value !== undefined) {
        say(output, value.value);
        if (!dragging && !sender.waiting(property.name)) {
          slider.value = value.value;
        }
      }
      if (automatic !== null && typeof value.automatic === "boolean") {
        automatic.checked = value.automatic;
      }
      say(message, value.took === false ? (value.refusal ?? "the camera did not take it") : "");
    },
    fail(text) {
      say(message, text);
    },
  };
}

// Fills `container` with the properties of `settings` for `camera`; `onFailure(error)` hears of a
// request that failed for a reason of the whole camera (pulled out, being updated).
export function showProperties(container, camera, settings, onFailure) {
  const rows = new Map();
  const sender = new ValueSender(
    camera,
    (values) => {
      for (const value of values) {
        rows.get(value.name)?.show(value);
      }
    },
    (error, names) => {
      if (error.problems.length > 0) {
        for (const problem of error.problems) {
          rows.get(problem.name)?.fail(problem.message);
        }
      } else if (error.status === 422) {
        // Each value's refusal is in its row already.
      } else {
        for (const name of names) {
          rows.get(name)?.fail(error.message);
        }
        onFailure(error);
      }
    },
  );
  container.replaceChildren();
  for (const property of settings.properties) {
    const made = propertyRow(property, sender);
    rows.set(property.name, made);
    container.append(made.row);
  }
}
