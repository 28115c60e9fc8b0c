// Small helpers for building the page's elements.

let lastId = 0;

// An id of its own for an element that a label or a description points at.
export function newId(prefix) {
  lastId += 1;
  return `${prefix}-${lastId}`;
}

// An element with its attributes and children (elements or text).
export function element(tag, attributes = {}, ...children) {
  const made = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value === false || value === null || value === undefined) {
      continue;
    }
    if (name === "text") {
      made.textContent = value;
    } else {
      made.setAttribute(name, value === true ? "" : String(value));
    }
  }
  made.append(...children);
  return made;
}

export function say(target, text) {
  target.textContent = text;
}
