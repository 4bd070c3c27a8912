// nerq-headset under the simulated VR runtime (vrsim) for a station of the browser test: the
// station's own station.conf and runtime folder (where its agent's local socket lies), and vrsim's
// event script (the customer's laser pointer), call trace and captured frames. The session tab is
// the headset's first dashboard overlay, so its frames are in the capture folder itself.
import fs from 'node:fs';
import path from 'node:path';
import { endProcess, readText, running, startGuarded, waitFor } from './processes.mjs';

export async function startHeadset({ id, conf, runtime, dir, tools }) {
  const folder = path.join(dir, 'headset');
  const file = (name) => path.join(folder, name);
  fs.mkdirSync(file('capture'), { recursive: true });
  fs.writeFileSync(file('events.txt'), '');
  const env = Object.fromEntries(Object.entries(process.env).filter(([key]) => !key.startsWith('VRSIM_')));
  const program = await startGuarded(path.join(tools, 'nerq-headset'), ['--config', conf], {
    logFile: file('headset.log'),
    env: {
      ...env,
      XDG_RUNTIME_DIR: runtime,
      VRSIM_STATE_DIR: file('state'),
      VRSIM_CAPTURE_DIR: file('capture'),
      VRSIM_CAPTURE: 'all',
      VRSIM_TRACE: file('trace.txt'),
      VRSIM_EVENTS: file('events.txt'),
      VRSIM_OVERLAY_VISIBLE: '0', // in a game, the dashboard closed
    },
  });
  const headset = {
    log: () => readText(file('headset.log')),
    trace: () => readText(file('trace.txt')),
    // A line of the event script; the runtime reads it at its next poll.
    script: (line) => fs.appendFileSync(file('events.txt'), `${line}\n`),
    // The session tab's frames so far: [{ number, png }] with the PNG's path.
    frames: () => readText(file('capture/frames.log')).split('\n').map((line) => {
      const number = Number(/frame=(\d+)/.exec(line)?.[1] ?? 0);
      return { number, png: file(`capture/${/png=(\S+)/.exec(line)?.[1]}`) };
    }).filter((frame) => frame.number > 0),
    // The customer opens the dashboard on the session tab and points at (x, y) and clicks there.
    async click(x, y) {
      headset.script(`overlay move ${x} ${y}`);
      headset.script(`+40 overlay down ${x} ${y}`);
      headset.script(`+40 overlay up ${x} ${y}`);
    },
    async openTab() {
      await waitFor(() => {
        if (!running(program)) throw new Error(`nerq-headset ${id} ended:\n${headset.log()}`);
        return headset.trace().includes('CreateDashboardOverlay key="nerqvr.session"');
      }, 15000, () => `nerq-headset ${id} made no session tab:\n${headset.log()}`);
      headset.script('dashboard open nerqvr.session');
      await waitFor(() => headset.frames().length > 0, 10000, () => `no frame of the session tab:\n${headset.log()}`);
    },
    stop: () => endProcess(program, 'SIGTERM', 5000),
  };
  return headset;
}

// The colour of the pixel (x, y) of a PNG, as [r, g, b], decoded by the browser of `page`.
export async function pixel(page, png, x, y) {
  const data = fs.readFileSync(png).toString('base64');
  return page.evaluate(async ({ data, x, y }) => {
    const image = new Image();
    image.src = `data:image/png;base64,${data}`;
    await image.decode();
    const canvas = new OffscreenCanvas(image.width, image.height);
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return [...context.getImageData(x, y, 1, 1).data.slice(0, 3)];
  }, { data, x, y });
}

export const near = (a, hex, tolerance = 24) =>
  [1, 3, 5].every((at, i) => Math.abs(a[i] - parseInt(hex.slice(at, at + 2), 16)) <= tolerance);
