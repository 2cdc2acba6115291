// SPDX-License-Identifier: GPL-3.0-or-later
// Runs browser test files (all *.test.mjs here when none is named) with node's test runner.
// Exits 77, which CTest counts as skipped, when the machine has no Chromium to drive.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const chromium = process.env.DEDE5_CHROMIUM || '/usr/bin/chromium';
try {
    fs.accessSync(chromium, fs.constants.X_OK);
} catch {
    console.log(`skipped: no Chromium at ${chromium}`);
    process.exit(77);
}

const named = process.argv.slice(2);
const files = named.length > 0
                  ? named.map((f) => path.resolve(here, f))
                  : fs.readdirSync(here).filter((f) => f.endsWith('.test.mjs')).sort()
                        .map((f) => path.join(here, f));
const result = spawnSync(process.execPath, ['--test', ...files], {stdio: 'inherit'});
process.exit(result.status ?? 1);
