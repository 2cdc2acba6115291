// SPDX-License-Identifier: GPL-3.0-or-later
// The project's own programs, run as a user runs them: dede5-publish and the sample-page writer
// (dede5_sample_pages). CMake names them in the environment.
//   programPath(variable)        the program a variable names; it must exist
//   userEnvironment(dir)         HOME, XDG folders and TMPDIR inside `dir`, never the user's own
//   runProgram(file, args, env)  {status, stdout, stderr}, whatever the exit status
import assert from 'node:assert/strict';
import {execFile} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

export function programPath(variable) {
    const file = process.env[variable];
    assert.ok(file, `${variable} must name the built program (ctest sets it)`);
    fs.accessSync(file, fs.constants.X_OK);
    return file;
}

export function userEnvironment(dir) {
    const folders = {HOME: 'home', XDG_CONFIG_HOME: 'config', XDG_DATA_HOME: 'data',
                     XDG_CACHE_HOME: 'cache', TMPDIR: 'tmp'};
    const env = {
        PATH: process.env.PATH,
        // File names in these tests are UTF-8, as they are on the machines the program runs on.
        LC_ALL: 'C.UTF-8',
        DEDE5_VARODO_HOME: process.env.DEDE5_VARODO_HOME,
    };
    for (const [name, folder] of Object.entries(folders)) {
        env[name] = path.join(dir, folder);
        fs.mkdirSync(env[name], {recursive: true});
    }
    return env;
}

export function runProgram(file, args, env) {
    return new Promise((resolve) => {
        const child = execFile(file, args, {env, maxBuffer: 1 << 20}, (error, stdout, stderr) => {
            let status = 0;
            if (error) {
                status = typeof error.code === 'number' ? error.code : `${error.signal || error.code}`;
            }
            resolve({status, stdout, stderr});
        });
        // Nothing to answer: a question the program asks ends at once instead of waiting.
        child.stdin.end();
    });
}
