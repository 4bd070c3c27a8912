// Pictures of a given size for a test catalogue: PNGs of random pixels, which no compression
// shrinks, so each file is as large as a Steam picture of that size.
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

const CRC_TABLE = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])));
  return Buffer.concat([head, data, crc]);
}

// An RGB PNG of about `bytes` bytes.
export function noisePng(bytes) {
  const side = Math.ceil(Math.sqrt(bytes / 3));
  const rows = [];
  for (let y = 0; y < side; ++y) rows.push(Buffer.from([0]), crypto.randomBytes(side * 3));
  const header = Buffer.alloc(13);
  header.writeUInt32BE(side, 0);
  header.writeUInt32BE(side, 4);
  header.set([8, 2, 0, 0, 0], 8); // 8 bits, RGB
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(Buffer.concat(rows), { level: 1 })), chunk('IEND', Buffer.alloc(0))]);
}

// A catalogue folder's game/ with `count` native games, each with its own picture of `bytes`
// bytes, in the form publishCatalogue() reads (data_en.json, data_cn.json, images/).
export function writeGames(gameDir, count, bytes) {
  fs.mkdirSync(path.join(gameDir, 'images'), { recursive: true });
  const games = [];
  for (let i = 1; i <= count; ++i) {
    const gameId = `game${String(i).padStart(2, '0')}`;
    fs.writeFileSync(path.join(gameDir, 'images', `${gameId}.png`), noisePng(bytes));
    games.push({ gameId, gameName: `Game ${i}`, imgPath: `../game/images/${gameId}.png`, gameMode: i % 6 });
  }
  for (const language of ['en', 'cn']) fs.writeFileSync(path.join(gameDir, `data_${language}.json`), JSON.stringify(games));
  return games.map((g) => g.gameId);
}
