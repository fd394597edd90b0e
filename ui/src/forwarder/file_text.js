// What the forwarder file's own text tells beyond the document read from it.

// Whether the text holds a comment (`//` or `/* */` outside a string), which
// a save does not write back.
export function hasComments(text) {
  let inString = false;
  for (let at = 0; at < text.length; at += 1) {
    const char = text[at];
    if (inString) {
      if (char === '\\') at += 1;
      else if (char === '"') inString = false;
    } else if (char === '"') {
      inString = true;
    } else if (char === '/' && (text[at + 1] === '/' || text[at + 1] === '*')) {
      return true;
    }
  }
  return false;
}

// Where and why the service's parser stopped, for a file that is not JSON.
export function parseProblem(error) {
  const place = error.line ? `Line ${error.line}, column ${error.column}` : 'The file';
  return `${place}: ${error.message}`;
}

// The version to restore first when the file is broken: the one the gateway
// came with, else the newest that can be restored.
export function versionToRestore(versions) {
  const restorable = versions.filter((version) => version.valid);
  return restorable.find((version) => version.factory) ?? restorable[0] ?? null;
}
