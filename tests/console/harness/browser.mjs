// Debian's Chromium, headless, driven by Playwright; never a downloaded browser.
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from './deps.mjs';

const FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

export async function openBrowser(dir, viewport) {
  const executablePath = process.env.NERQ_CHROMIUM || '/usr/bin/chromium';
  if (!fs.existsSync(executablePath)) throw new Error(`${executablePath} is missing: run scripts/setup.sh`);
  const context = await chromium.launchPersistentContext(path.join(dir, 'chromium-profile'), {
    executablePath, headless: true, args: FLAGS, viewport, timeout: 30000,
  });
  context.setDefaultTimeout(10000);
  const page = context.pages()[0] ?? await context.newPage();
  const problems = [];
  const consoleLines = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  page.on('console', (message) => consoleLines.push(`${message.type()}: ${message.text()}`));
  return { context, page, problems, consoleLines };
}
