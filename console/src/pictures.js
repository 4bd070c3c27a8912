// The venue catalogue's pictures as the page fetches them: one file beside the page, named by
// the catalogue's revision, written by nerq-venue catalogue publish:
//   "NERQ-PICTURES 1\n", "<sha256> <bytes>\n" for each picture, "\n", then the bytes in that order.

const MAGIC = 'NERQ-PICTURES 1';
const LINE = /^([0-9a-f]{64}) (\d{1,9})$/;
// A revision names a file: only what nerq-venue writes, nothing that could reach elsewhere.
const REVISION = /^[0-9a-f]{1,64}$/;

// The file's address beside the page, or null for a revision no file can be named after.
export function pictureFile(revision) {
  return typeof revision === 'string' && REVISION.test(revision) ? `pictures/${revision}` : null;
}

// { value: Map sha256 -> Uint8Array } or { error }.
export function readPictures(bytes) {
  let end = -1;
  for (let i = 1; i < bytes.length; ++i) {
    if (bytes[i] === 10 && bytes[i - 1] === 10) {
      end = i;
      break;
    }
  }
  if (end < 0) return { error: 'no end of the list of pictures' };
  const lines = new TextDecoder('latin1').decode(bytes.subarray(0, end - 1)).split('\n');
  if (lines[0] !== MAGIC) return { error: 'not a file of pictures' };
  const pictures = new Map();
  let at = end + 1;
  for (const line of lines.slice(1)) {
    const match = LINE.exec(line);
    if (!match) return { error: `a line that names no picture: "${line.slice(0, 80)}"` };
    const length = Number(match[2]);
    if (at + length > bytes.length) return { error: `picture ${match[1].slice(0, 12)}… runs past the end` };
    pictures.set(match[1], bytes.subarray(at, at + length));
    at += length;
  }
  return { value: pictures };
}
