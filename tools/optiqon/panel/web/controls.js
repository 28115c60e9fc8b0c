// The camera's vendor controls, each by its name and number: a byte, a list of bytes to type with
// commas between, or for control 30 its scaled number. A value goes to the camera when the user presses
// Enter or leaves the box after changing it; a value that is no list of numbers never leaves the
// page, and the panel refuses one that does not fit the control before anything is sent.
import { cameraPath, request } from "./api.js";
import { element, newId, say } from "./dom.js";

const ScaledControl = 30;

// Control 30's number as the camera's scaling gives it, without the binary fraction's tail
// (0.1, not 0.10000000000000003).
function valueText(value) {
  if (Array.isArray(value)) {
    return value.join(",");
  }
  return value === null ? "" : String(Number(value.toPrecision(6)));
}

// The value a box holds, as the interface takes it, or the reason it is none.
function parseValue(control, text) {
  const trimmed = text.trim();
  if (control.number === ScaledControl) {
    const number = Number(trimmed);
    return trimmed === "" || !Number.isFinite(number)
      ? { problem: `'${trimmed}' is not a number: nothing sent` }
      : { value: number };
  }
  const bytes = [];
  for (const part of trimmed.split(",")) {
    const piece = part.trim();
    if (!/^(0x[0-9a-f]+|[0-9]+)$/i.test(piece)) {
      return { problem: `'${piece}' is not a whole number: nothing sent` };
    }
    bytes.push(Number(piece));
  }
  return { value: bytes };
}

function controlRow(camera, control, onFailure) {
  const id = newId("control");
  const messageId = `${id}-message`;
  const scaled = control.number === ScaledControl;
  // A number box for one number; a text box for a list of bytes.
  const oneByte = !scaled && control.length === 1;
  const box = element("input", {
    type: scaled || oneByte ? "number" : "text",
    id,
    step: scaled ? "any" : oneByte ? 1 : null,
    min: oneByte ? 0 : null,
    max: oneByte ? 255 : null,
    value: valueText(control.value),
    readonly: !control.settable,
    disabled: control.value === null,
    autocomplete: "off",
    spellcheck: "false",
    "aria-describedby": messageId,
  });
  const message = element("span", { id: messageId, class: "message", role: "alert" });
  const bytes = scaled ? "scaled number" : `${control.length} byte${control.length === 1 ? "" : "s"}`;
  const row = element(
    "div",
    { class: "control" },
    element("label", { for: id, text: control.name }),
    box,
    element("span", { class: "quiet", text: control.settable ? bytes : "read only" }),
    message,
  );
  if (control.unreadable !== null) {
    say(message, control.unreadable);
  }

  let sent = box.value;
  const send = async () => {
    const parsed = parseValue(control, box.value);
    if (parsed.problem !== undefined) {
      say(message, parsed.problem);
      return;
    }
    sent = box.value;
    say(message, "");
    try {
      const answer = await request("PUT", cameraPath(camera, "settings"), {
        [control.name]: parsed.value,
      });
      const [value] = answer.values;
      box.value = valueText(value.value);
      sent = box.value;
    } catch (error) {
      const value = error.answer?.values?.[0];
      if (value !== undefined) {
        box.value = valueText(value.value);
        sent = box.value;
      }
      say(message, error.problems[0]?.message ?? value?.refusal ?? error.message);
      if (error.problems.length === 0 && error.status !== 422) {
        onFailure(error);
      }
    }
  };
  if (control.settable) {
    box.addEventListener("keydown", (event) => {
      if (event.key === "Enter") {
        event.preventDefault();
        send();
      }
    });
    box.addEventListener("change", () => {
      if (box.value !== sent) {
        send();
      }
    });
  }
  return row;
}

export function showControls(container, camera, settings, onFailure) {
  container.replaceChildren(...settings.controls.map((control) => controlRow(camera, control, onFailure)));
}
