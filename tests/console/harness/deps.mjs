// The tests' npm packages live with the page's, in console/node_modules (npm ci, run by
// scripts/setup.sh), which Node's own lookup from tests/ does not reach.
import { createRequire } from 'node:module';

const require = createRequire(new URL('../../../console/package.json', import.meta.url));
export const mqtt = require('mqtt');
export const { chromium } = require('playwright-core');
