// The programs the browser test starts (the broker, the station agents), each with a guard that
// kills it should the test process die without its after() hooks; and bounded waits.
import { spawn } from 'node:child_process';
import fs from 'node:fs';

const GUARD = 'while kill -0 "$0" 2>/dev/null; do sleep 0.5; done; kill -9 "$1" 2>/dev/null';

// Starts `command` with its output appended to `logFile`; resolves once it runs.
export async function startGuarded(command, args, { logFile, env } = {}) {
  const log = fs.openSync(logFile, 'a');
  const child = spawn(command, args, { stdio: ['ignore', log, log], env });
  fs.closeSync(log);
  child.ended = new Promise((resolve) => child.once('exit', resolve));
  await new Promise((resolve, reject) => {
    child.once('spawn', resolve);
    child.once('error', reject);
  });
  child.guard = spawn('sh', ['-c', GUARD, String(process.pid), String(child.pid)], { stdio: 'ignore', detached: true });
  child.guard.unref();
  return child;
}

export const running = (child) => Boolean(child) && child.exitCode === null && child.signalCode === null;

// Sends `signal`, then SIGKILL after `graceMs`; resolves when the process has ended.
export async function endProcess(child, signal = 'SIGKILL', graceMs = 10000) {
  if (!child) return;
  if (running(child)) {
    child.kill(signal);
    const timer = setTimeout(() => child.kill('SIGKILL'), graceMs);
    await child.ended;
    clearTimeout(timer);
  }
  if (child.guard.exitCode === null) child.guard.kill('SIGKILL');
}

// Polls `condition` until it holds; throws after `ms` with `what` (text, or a function giving it).
export async function waitFor(condition, ms, what) {
  const deadline = Date.now() + ms;
  for (;;) {
    if (await condition()) return;
    if (Date.now() > deadline) throw new Error(`${typeof what === 'function' ? what() : what} (waited ${ms} ms)`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

export const readText = (file) => (fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '');
