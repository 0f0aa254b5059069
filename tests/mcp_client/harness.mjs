// What the MCP client tests share: checks with a closing "N passed, N
// failed" line, the expected tools and prompt, and the stand-in tray app in
// a temporary app folder.
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';

export const TOOL_NAMES = [
  'status', 'stay_awake', 'release', 'set_mode', 'set_preset', 'set_app_rule', 'watch_app',
  'energy', 'settings', 'set_setting', 'power', 'setup_prompt',
];
export const PROMPT_START = 'Vesk is installed on this laptop. It keeps the machine awake';
export const PROMPT_END = "Vesk won't let you, and that's on purpose.";
export const REQUEST_LIMIT = { timeout: 15000 };
// What only reads: the tools that clients may run without asking.
export const READ_ONLY_TOOLS = ['status', 'energy', 'settings', 'power', 'setup_prompt'];

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export function expect(condition, message) {
  if (!condition) throw new Error(message);
}

// Named checks, each printed as "ok" or "FAIL"; `prefix` starts each name.
export class Checks {
  constructor(prefix = '') {
    this.prefix = prefix;
    this.passed = 0;
    this.failed = 0;
  }
  async check(name, body) {
    try {
      await body();
      this.passed++;
      console.log(`ok   ${this.prefix}${name}`);
    } catch (e) {
      this.fail(`${this.prefix}${name}: ${e && e.message ? e.message : e}`);
    }
  }
  fail(text) {
    this.failed++;
    console.log(`FAIL ${text}`);
  }
  // Prints the closing line and ends the process with its status.
  finish() {
    console.log(`${this.passed} passed, ${this.failed} failed`);
    process.exit(this.failed === 0 ? 0 : 1);
  }
}

// The stand-in tray app serving a new temporary app folder; `env` is the
// environment that makes `vesk` use it: APPDATA, or with `byHome` a new
// HOME alone (the app folder is then HOME/.config/Vesk). Ends the process
// after 90 s.
export async function startTray(vesk, standin, baseEnv, { byHome = false } = {}) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'vesk-mcp-client-'));
  let env;
  let folder;
  if (byHome) {
    env = { ...baseEnv, HOME: root };
    for (const name of ['APPDATA', 'USERPROFILE', 'XDG_CONFIG_HOME']) delete env[name];
    folder = path.join(root, '.config', 'Vesk');
  } else {
    env = { ...baseEnv, APPDATA: root };
    folder = path.join(root, 'Vesk');
  }
  fs.mkdirSync(folder, { recursive: true });
  const tray = spawn(standin, ['--folder', folder], { stdio: ['ignore', 'ignore', 'inherit'] });
  const watchdog = setTimeout(() => {
    console.log('FAIL the client test took over 90 s');
    tray.kill();
    process.exit(1);
  }, 90000);
  // Ready once its heartbeat file is there.
  for (let i = 0; i < 500 && !fs.existsSync(path.join(folder, 'alive')); i++) await sleep(20);
  return {
    env,
    // The tray app's status reply, through `vesk --json`.
    status() {
      const run = spawnSync(vesk, ['--json'], { env, encoding: 'utf8', timeout: 15000 });
      expect(run.status === 0, `vesk --json exited with ${run.status}: ${run.stderr}`);
      return JSON.parse(run.stdout);
    },
    stop() {
      clearTimeout(watchdog);
      tray.kill();
      fs.rmSync(root, { recursive: true, force: true });
    },
  };
}

// The Codex CLI's launcher in the folder whose node_modules holds it; when
// it isn't there, says so and skips the test (status 77).
export function codexEntryOrSkip(packageFolder) {
  try {
    const require = createRequire(path.join(path.resolve(packageFolder), 'package.json'));
    const entry = path.join(path.dirname(require.resolve('@openai/codex/package.json')), 'bin',
      'codex.js');
    if (!fs.existsSync(entry)) throw new Error(`no ${entry}`);
    return entry;
  } catch (e) {
    console.log(`skipped: Codex is not installed under ${packageFolder} (scripts/setup.sh installs it)`);
    process.exit(77);
  }
}
