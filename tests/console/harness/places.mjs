// Where a browser test finds the built programs, the sources and the program's demo games, and
// where it leaves its screenshots: CTest says so in the environment; run by hand, the build tree.
import fs from 'node:fs';
import path from 'node:path';

const here = path.dirname(new URL(import.meta.url).pathname);
export const runtime = process.env.NERQ_RUNTIME_DIR ?? path.resolve(here, '../../../build/bin');
export const tools = process.env.NERQ_TOOLS_DIR ?? runtime;
export const source = process.env.NERQ_SOURCE_DIR ?? path.resolve(here, '../../..');
export const shots = process.env.NERQ_CONSOLE_SHOTS ?? path.join(runtime, '..', 'console-shots');
export const gameDir = path.join(source, 'game');
// The program's demo games, every one native: the venue's games in these tests.
export const DEMO_GAMES = JSON.parse(fs.readFileSync(path.join(gameDir, 'data_en.json'), 'utf8')).map((g) => g.gameId);
