// Asks the real Codex (`codex app-server`, JSON-RPC over standard input and
// output) how it sees a hooks.json like the one `vesk connect codex` writes:
// each hook's trust key and current hash, which must be the ones vesk
// writes into config.toml; then writes those trust tables and checks that
// Codex reports every hook trusted.
//
//   node codex_hooks_trust_test.mjs <folder holding node_modules with @openai/codex> [<expected.json>]
//
// <expected.json>, when given, is {"hooksJson": {...}, "hashes": {"<event>:<group>:<handler>":
// "sha256:..."}}: the hooks.json to ask about and the hashes vesk computes
// for it; without it a built-in hooks.json is used and its hashes printed.
// Prints one line per check and "N passed, N failed"; exits 1 when a check
// failed, 77 (skipped) when Codex is not installed.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { codexEntryOrSkip } from './harness.mjs';

const [packageFolder, expectedFile] = process.argv.slice(2);
if (!packageFolder) {
  console.error('usage: node codex_hooks_trust_test.mjs <folder with node_modules> [<expected.json>]');
  process.exit(2);
}

const codexEntry = codexEntryOrSkip(packageFolder);

// A handler as vesk writes it, for `program` and `event`.
function handler(event) {
  return {
    type: 'command',
    command: `'/opt/vesk dir/o'\\''k/vesk' hook codex ${event}`,
    commandWindows: `"C:\\Program Files\\vesk\\vesk.exe" hook codex ${event}`,
    timeout: 5,
  };
}

const builtIn = {
  hooks: Object.fromEntries(
    ['UserPromptSubmit', 'PreToolUse', 'PostToolUse', 'Stop', 'SessionStart', 'PreCompact',
      'PostCompact', 'PermissionRequest', 'SubagentStart', 'SubagentStop', 'SessionEnd',
      'Interrupt']
      .map((event) => [event, [{ hooks: [handler(event)] }]])),
};
// A matcher for every event (Codex keeps it in the hash of some and drops
// it from others), a second handler in a group, and timeouts that Codex
// clamps or fills in.
for (const [event, groups] of Object.entries(builtIn.hooks)) {
  groups.push({ matcher: 'x', hooks: [handler(event)] });
}
builtIn.hooks.PreToolUse.push({ matcher: '*', hooks: [handler('PreToolUse'), { ...handler('PreToolUse'), async: false, statusMessage: 'vesk' }] });
builtIn.hooks.UserPromptSubmit.push({ hooks: [{ ...handler('UserPromptSubmit'), timeout: undefined }] });
builtIn.hooks.SessionEnd.push({ hooks: [{ ...handler('SessionEnd'), timeout: 2 }, { ...handler('SessionEnd'), timeout: undefined }, { ...handler('SessionEnd'), timeout: 0 }] });
builtIn.hooks.Interrupt.push({ hooks: [{ ...handler('Interrupt'), timeout: undefined }, { ...handler('Interrupt'), timeout: 600 }] });
builtIn.hooks.Stop.push({ hooks: [{ ...handler('Stop'), timeout: 0 }] });
// Characters that JSON escapes, and some it doesn't.
builtIn.hooks.PostToolUse.push({ hooks: [{ ...handler('PostToolUse'), command: "'/\u00e9\u2028/\"q\"\\\t\u0001\u007f' hook codex PostToolUse" }] });

const expected = expectedFile ? JSON.parse(fs.readFileSync(expectedFile, 'utf8')) : null;
const hooksJson = expected?.hooksJson ?? builtIn;

const home = fs.mkdtempSync(path.join(os.tmpdir(), 'vesk-codex-trust-'));
const codexHome = path.join(home, '.codex');
fs.mkdirSync(codexHome);
const hooksPath = path.join(codexHome, 'hooks.json');
fs.writeFileSync(hooksPath, JSON.stringify(hooksJson, null, 2) + '\n');
fs.writeFileSync(path.join(codexHome, 'config.toml'), 'model = "fake-model"\n');

// One app-server for each question: it reads config.toml as it starts.
async function listHooks() {
  const child = spawn(process.execPath, [codexEntry, 'app-server'], {
    env: { ...process.env, HOME: home, CODEX_HOME: codexHome, NO_COLOR: '1' },
    stdio: ['pipe', 'pipe', 'pipe'],
  });
  let buffer = '';
  const waiting = new Map();
  child.stdout.on('data', (chunk) => {
    buffer += chunk;
    let end;
    while ((end = buffer.indexOf('\n')) >= 0) {
      const line = buffer.slice(0, end);
      buffer = buffer.slice(end + 1);
      let message;
      try { message = JSON.parse(line); } catch { continue; }
      if (message.id !== undefined && waiting.has(message.id)) {
        waiting.get(message.id)(message);
        waiting.delete(message.id);
      }
    }
  });
  let stderr = '';
  child.stderr.on('data', (chunk) => { stderr += chunk; });
  let next = 1;
  const call = (method, params) => new Promise((resolve, reject) => {
    const id = next++;
    const timer = setTimeout(() => reject(new Error(`${method}: no answer in 30 s; ${stderr}`)), 30000);
    waiting.set(id, (m) => { clearTimeout(timer); resolve(m); });
    child.stdin.write(JSON.stringify({ jsonrpc: '2.0', id, method, params }) + '\n');
  });
  try {
    await call('initialize', { clientInfo: { name: 'vesk-test', version: '0' } });
    child.stdin.write(JSON.stringify({ jsonrpc: '2.0', method: 'initialized' }) + '\n');
    const reply = await call('hooks/list', { cwds: [home] });
    if (reply.error) throw new Error(`hooks/list: ${JSON.stringify(reply.error)}`);
    return reply.result;
  } finally {
    child.kill();
  }
}

let passed = 0;
let failed = 0;
function check(ok, what) {
  if (ok) passed++; else failed++;
  console.log(`${ok ? 'ok' : 'FAILED'}: ${what}`);
}

function entriesOf(result) {
  const entries = [];
  for (const forCwd of result.data ?? []) entries.push(...(forCwd.hooks ?? []));
  return entries.filter((e) => e.sourcePath === hooksPath);
}

try {
  const before = entriesOf(await listHooks());
  const handlerCount = Object.values(hooksJson.hooks)
    .reduce((n, groups) => n + groups.reduce((m, g) => m + g.hooks.length, 0), 0);
  check(before.length === handlerCount, `Codex lists ${before.length} of ${handlerCount} hooks`);
  const prefix = `${hooksPath}:`;
  for (const entry of before) {
    const place = entry.key.startsWith(prefix) ? entry.key.slice(prefix.length) : entry.key;
    console.log(`  ${place} ${entry.currentHash} ${entry.trustStatus}`);
    check(entry.trustStatus === 'untrusted', `${place} is untrusted before`);
    if (expected) {
      check(expected.hashes[place] === entry.currentHash,
        `${place}: vesk's hash ${expected.hashes[place]} is Codex's ${entry.currentHash}`);
    }
  }

  let tables = '';
  for (const entry of before) {
    const place = entry.key.slice(prefix.length);
    const hash = expected ? expected.hashes[place] : entry.currentHash;
    tables += `\n[hooks.state.${JSON.stringify(entry.key)}]\ntrusted_hash = ${JSON.stringify(hash)}\n`;
  }
  fs.appendFileSync(path.join(codexHome, 'config.toml'), tables);
  const after = entriesOf(await listHooks());
  for (const entry of after) {
    check(entry.trustStatus === 'trusted', `${entry.key.slice(prefix.length)} is trusted after`);
  }
} catch (e) {
  check(false, e.message);
} finally {
  fs.rmSync(home, { recursive: true, force: true });
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
