// Debian's Chromium, headless, driven by Playwright; never a downloaded browser.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from './deps.mjs';

const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// A home folder whose NSS database trusts the CA in `caFile` for web sites, as a desk PC's does
// once its user imported the venue's CA (certutil, from Debian's libnss3-tools).
export function homeTrusting(home, caFile) {
  const db = path.join(home, '.pki', 'nssdb');
  fs.mkdirSync(db, { recursive: true });
  execFileSync('certutil', ['-d', `sql:${db}`, '-N', '--empty-password']);
  execFileSync('certutil', ['-d', `sql:${db}`, '-A', '-t', 'C,,', '-n', 'venue CA', '-i', caFile]);
  return home;
}

// `home`: the HOME Chromium runs with, where it finds its NSS database; by default one of its own
// below `dir`, which trusts nothing more than the system does.
export async function openBrowser(dir, viewport, { home } = {}) {
  const executablePath = process.env.NERQ_CHROMIUM || '/usr/bin/chromium';
  if (!fs.existsSync(executablePath)) throw new Error(`${executablePath} is missing: run scripts/setup.sh`);
  const ownHome = home ?? path.join(dir, 'home');
  fs.mkdirSync(ownHome, { recursive: true });
  const context = await chromium.launchPersistentContext(path.join(dir, 'chromium-profile'), {
    executablePath, headless: true, args: FLAGS, viewport, timeout: 30000, env: { ...process.env, HOME: ownHome },
  });
  context.setDefaultTimeout(10000);
  const page = context.pages()[0] ?? await context.newPage();
  const problems = [];
  const consoleLines = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('console', (message) => consoleLines.push(`${message.type()}: ${message.text()}`));
  return { context, page, problems, consoleLines };
}
