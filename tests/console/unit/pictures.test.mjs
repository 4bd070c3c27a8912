// The file of the venue's pictures beside the page, as nerq-venue writes it, and what the page
// makes of one that is damaged or hostile.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { pictureFile, readPictures } from '../../../console/src/pictures.js';

const sha = (c) => c.repeat(64);
const file = (head, ...bodies) => new Uint8Array([...new TextEncoder().encode(head), ...bodies.flat()]);

test('the pictures come out whole, each under its hash', () => {
  const read = readPictures(file(`NERQ-PICTURES 1\n${sha('a')} 3\n${sha('b')} 0\n${sha('c')} 2\n\n`, [1, 2, 3], [10, 10]));
  assert.deepEqual([...read.value].map(([k, v]) => [k[0], [...v]]), [['a', [1, 2, 3]], ['b', []], ['c', [10, 10]]]);
  assert.deepEqual([...readPictures(file('NERQ-PICTURES 1\n\n')).value], []);
});

test('a damaged or hostile file is refused with a reason, never read past its end', () => {
  const cases = [
    [file(''), /no end/], [file('<html>404</html>'), /no end/], [file('NERQ-PICTURES 2\n\n'), /not a file of pictures/],
    [file(`NERQ-PICTURES 1\n${sha('a')} 5\n\n`, [1, 2]), /runs past the end/],
    [file(`NERQ-PICTURES 1\n${sha('A')} 1\n\n`, [1]), /names no picture/],
    [file(`NERQ-PICTURES 1\n../../x 1\n\n`, [1]), /names no picture/],
    [file(`NERQ-PICTURES 1\n${sha('a')} -1\n\n`), /names no picture/],
  ];
  for (const [bytes, reason] of cases) assert.match(readPictures(bytes).error, reason);
});

test('only a revision as nerq-venue makes it names a file', () => {
  assert.equal(pictureFile('97c0ab4a323c'), 'pictures/97c0ab4a323c');
  for (const bad of ['../passwords', '', 'ABC', 'a/b', 7, null, 'a'.repeat(65)]) assert.equal(pictureFile(bad), null, bad);
});
