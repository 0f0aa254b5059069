// The agents' lifecycle hooks end to end: Claude Code (`claude -p`), Codex
// (`codex exec`, default approvals, no hook-trust bypass) and Gemini CLI
// (`gemini -p --yolo`), each in a throw-away HOME set up by `vesk connect`,
// run one turn against a local scripted model (model_server.mjs) while the
// stand-in tray app serves the app folder. The model answers with one shell
// call, then holds its closing answer while the test looks at the tray app:
// it must show exactly one hold, "<agent> is working in …", bound to the
// agent's process or one of its descendants; once the agent has exited, no
// hold is left.
//
//   node hooks_test.mjs <vesk> <vesk-standin> <agent CLIs folder> <MCP clients folder> [word...]
//
// The agent CLIs folder holds node_modules with Claude Code and Gemini CLI
// (tests/agent_clis), the MCP clients folder the one with Codex
// (tests/mcp_client). The words pick the agents (all when none is given).
// Prints one line per check and a closing "N passed, N failed"; exits 1 when
// a check failed, 77 (skipped) when an agent is not installed. With
// VESK_HOOKS_TEST_LOG set, the model's requests and the agents' output are
// printed.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';

import { Checks, expect, sleep, startTray } from '../mcp_client/harness.mjs';
import { FINAL_TEXT, startModelServer } from './model_server.mjs';

// While `vesk connect` doesn't write the agents' hooks yet, the test writes
// them itself, in the shapes connect is to write (for Codex with the trust
// that Codex's own app-server reports). False once connect writes them: the
// test then only checks that they are there.
const HAND_HOOKS = false;

const [veskArg, standin, cliFolder, mcpFolder, ...words] = process.argv.slice(2);
if (!veskArg || !standin || !cliFolder || !mcpFolder) {
  console.error('usage: node hooks_test.mjs <vesk> <vesk-standin> <agent CLIs folder> ' +
    '<MCP clients folder> [word...]');
  process.exit(2);
}
const vesk = fs.realpathSync(veskArg);
const log = process.env.VESK_HOOKS_TEST_LOG ? (...a) => console.log(...a) : () => {};

// How long the model holds its closing answer, and the limit for one run.
const HOLD_MS = 1500;
const RUN_LIMIT_MS = 45000;
const PROMPT = 'run echo hi-from-tool';

// A package's file, or null when the package isn't installed there.
function packageFile(folder, name, file) {
  try {
    const require = createRequire(path.join(path.resolve(folder), 'package.json'));
    const found = path.join(path.dirname(require.resolve(`${name}/package.json`)), file);
    return fs.existsSync(found) ? found : null;
  } catch {
    return null;
  }
}

// `program` as sh reads it: in single quotes, each ' written '\''.
const shQuote = (program) => `'${program.replaceAll("'", "'\\''")}'`;

function readJson(file) {
  return fs.existsSync(file) ? JSON.parse(fs.readFileSync(file, 'utf8')) : {};
}

function writeJson(file, value) {
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, JSON.stringify(value, null, 2) + '\n');
}

// Adds `hooks` (event -> groups) to the settings file's "hooks" member.
function addHooks(file, hooks) {
  const settings = readJson(file);
  settings.hooks = { ...(settings.hooks || {}), ...hooks };
  writeJson(file, settings);
}

// Whether every event in `events` has a hook in `hooksMember` whose command
// line names `vesk hook <word> <event>`.
function hooksPresent(hooksMember, word, events) {
  const missing = events.filter((event) => !(hooksMember?.[event] || []).some((group) =>
    (group.hooks || []).some((h) => [h.command, ...(h.args || [])].join(' ')
      .includes(`hook ${word} ${event}`))));
  expect(missing.length === 0, `no vesk hook for ${missing.join(', ')}`);
}

// The processes under `root` (itself included), from /proc.
function processTree(root) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    let stat;
    try { stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8'); } catch { continue; }
    // The name may hold spaces and parentheses: the fields after the last ")".
    const ppid = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
    if (!children.has(ppid)) children.set(ppid, []);
    children.get(ppid).push(Number(entry));
  }
  const tree = [root];
  for (let i = 0; i < tree.length; i++) tree.push(...(children.get(tree[i]) || []));
  return tree;
}

// A process's name, "gone" once it has ended.
function processName(pid) {
  try {
    return fs.readFileSync(`/proc/${pid}/comm`, 'utf8').trim();
  } catch {
    return 'gone';
  }
}

function run(command, args, options, limitMs) {
  return new Promise((resolve) => {
    const started = Date.now();
    const child = spawn(command, args, { ...options, stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (chunk) => { stdout += chunk; });
    child.stderr.on('data', (chunk) => { stderr += chunk; });
    // The launchers pass SIGTERM on to the programs they start; SIGKILL
    // would leave those running.
    let hard;
    const timer = setTimeout(() => {
      child.kill('SIGTERM');
      hard = setTimeout(() => child.kill('SIGKILL'), 5000);
    }, limitMs);
    const done = new Promise((resolveDone) => {
      child.on('close', (code, signal) => {
        clearTimeout(timer);
        clearTimeout(hard);
        resolveDone({ code, signal, stdout, stderr, seconds: (Date.now() - started) / 1000 });
      });
    });
    resolve({ pid: child.pid, done });
  });
}

async function runToEnd(command, args, options, limitMs) {
  return (await run(command, args, options, limitMs)).done;
}

// Codex's view of the hooks in `hooksPath`, from `codex app-server`'s
// hooks/list: each one's trust key and current hash.
async function codexHooks(codexEntry, env, cwd, hooksPath) {
  const child = spawn(process.execPath, [codexEntry, 'app-server'], {
    env, cwd, stdio: ['pipe', 'pipe', 'pipe'],
  });
  let buffer = '';
  let stderr = '';
  const waiting = new Map();
  child.stderr.on('data', (chunk) => { stderr += chunk; });
  child.stdout.on('data', (chunk) => {
    buffer += chunk;
    let end;
    while ((end = buffer.indexOf('\n')) >= 0) {
      const line = buffer.slice(0, end);
      buffer = buffer.slice(end + 1);
      let message;
      try { message = JSON.parse(line); } catch { continue; }
      if (message.id !== undefined && waiting.has(message.id)) waiting.get(message.id)(message);
    }
  });
  let next = 1;
  const call = (method, params) => new Promise((resolve, reject) => {
    const id = next++;
    const timer = setTimeout(() => reject(new Error(`${method}: no answer in 20 s; ${stderr}`)), 20000);
    waiting.set(id, (m) => { clearTimeout(timer); waiting.delete(id); resolve(m); });
    child.stdin.write(JSON.stringify({ jsonrpc: '2.0', id, method, params }) + '\n');
  });
  try {
    await call('initialize', { clientInfo: { name: 'vesk-test', version: '0' } });
    child.stdin.write(JSON.stringify({ jsonrpc: '2.0', method: 'initialized' }) + '\n');
    const reply = await call('hooks/list', { cwds: [cwd] });
    expect(!reply.error, `hooks/list: ${JSON.stringify(reply.error)}`);
    const entries = [];
    for (const forCwd of reply.result.data ?? []) entries.push(...(forCwd.hooks ?? []));
    return entries.filter((e) => e.sourcePath === hooksPath);
  } finally {
    child.kill();
  }
}

const CLAUDE_EVENTS = ['UserPromptSubmit', 'PreToolUse', 'PostToolUse', 'PostToolUseFailure', 'Stop',
  'StopFailure', 'Interrupt', 'SessionEnd', 'Notification'];
const CODEX_EVENTS = ['UserPromptSubmit', 'PreToolUse', 'PostToolUse', 'Stop', 'Interrupt', 'SessionEnd'];
const GEMINI_EVENTS = ['BeforeAgent', 'BeforeTool', 'AfterTool', 'AfterAgent', 'SessionEnd'];

// The agents. `program` finds what to start (null: not installed), `env`
// what the agent sees besides the tray's HOME and PATH, `prepare` writes the
// user's own settings before `vesk connect`, `mcpEntry` tells whether connect
// registered the vesk server, `hooks` writes the hand hooks
// or checks the ones connect wrote, `start` the command line of one turn.
const AGENTS = [
  {
    word: 'claude',
    display: 'Claude Code',
    program: () => packageFile(cliFolder, '@anthropic-ai/claude-code', 'bin/claude.exe'),
    env: (home, port) => ({
      ANTHROPIC_BASE_URL: `http://127.0.0.1:${port}`,
      ANTHROPIC_API_KEY: 'test-key',
      CLAUDE_CODE_DISABLE_NONESSENTIAL_TRAFFIC: '1',
      DISABLE_AUTOUPDATER: '1',
    }),
    prepare: () => {},
    mcpEntry: (home) => readJson(path.join(home, '.claude.json')).mcpServers?.vesk?.command === vesk,
    hooks: async ({ home }) => {
      const file = path.join(home, '.claude', 'settings.json');
      if (HAND_HOOKS) {
        addHooks(file, Object.fromEntries(CLAUDE_EVENTS.map((event) => [event, [{
          hooks: [{ type: 'command', command: vesk, args: ['hook', 'claude', event] }],
        }]])));
      }
      hooksPresent(readJson(file).hooks, 'claude', CLAUDE_EVENTS);
    },
    start: (program) => [program, ['-p', PROMPT, '--allowedTools', 'Bash']],
  },
  {
    word: 'codex',
    display: 'Codex',
    program: () => packageFile(mcpFolder, '@openai/codex', 'bin/codex.js'),
    env: (home) => ({ CODEX_HOME: path.join(home, '.codex'), VESK_TEST_MODEL_KEY: 'test-key',
      NO_COLOR: '1' }),
    // The local model, as the user's own settings.
    prepare: ({ home, port }) => {
      fs.mkdirSync(path.join(home, '.codex'), { recursive: true });
      fs.writeFileSync(path.join(home, '.codex', 'config.toml'), [
        'model = "vesk-test-model"',
        'model_provider = "vesk-test"',
        '',
        '[model_providers.vesk-test]',
        'name = "vesk test model"',
        `base_url = "http://127.0.0.1:${port}/v1"`,
        'wire_api = "responses"',
        'env_key = "VESK_TEST_MODEL_KEY"',
        '',
      ].join('\n'));
    },
    mcpEntry: (home) => fs.readFileSync(path.join(home, '.codex', 'config.toml'), 'utf8')
      .includes('[mcp_servers.vesk]'),
    hooks: async ({ home, env, work, program }) => {
      const hooksPath = path.join(home, '.codex', 'hooks.json');
      const configPath = path.join(home, '.codex', 'config.toml');
      if (HAND_HOOKS) {
        writeJson(hooksPath, { hooks: Object.fromEntries(CODEX_EVENTS.map((event) => [event, [{
          hooks: [{
            type: 'command', command: `${shQuote(vesk)} hook codex ${event}`,
            commandWindows: `"${vesk}" hook codex ${event}`, timeout: 5,
          }],
        }]])) });
        // The trust Codex asks for, as its app-server reports the hashes.
        let tables = '';
        for (const entry of await codexHooks(program, env, work, hooksPath)) {
          tables += `\n[hooks.state.${JSON.stringify(entry.key)}]\ntrusted_hash = ${JSON.stringify(entry.currentHash)}\n`;
        }
        fs.appendFileSync(configPath, tables);
      }
      hooksPresent(readJson(hooksPath).hooks, 'codex', CODEX_EVENTS);
      const untrusted = (await codexHooks(program, env, work, hooksPath))
        .filter((e) => e.trustStatus !== 'trusted').map((e) => `${e.key} ${e.trustStatus}`);
      expect(untrusted.length === 0, `Codex doesn't trust ${untrusted.join(', ')}`);
    },
    start: (program) => [process.execPath, [program, 'exec', '--skip-git-repo-check', PROMPT]],
  },
  {
    word: 'gemini',
    display: 'Gemini CLI',
    program: () => packageFile(cliFolder, '@google/gemini-cli', 'bundle/gemini.js'),
    // Relaunched as it is for users: the hooks then run under a second node.
    env: (home, port) => ({
      GOOGLE_GEMINI_BASE_URL: `http://127.0.0.1:${port}`,
      GEMINI_API_KEY: 'test-key',
      GEMINI_CLI_TRUST_WORKSPACE: 'true',
    }),
    // The user's own settings: an API key, which the local model takes.
    prepare: ({ home }) => {
      writeJson(path.join(home, '.gemini', 'settings.json'),
        { security: { auth: { selectedType: 'gemini-api-key' } } });
    },
    mcpEntry: (home) =>
      readJson(path.join(home, '.gemini', 'settings.json')).mcpServers?.vesk?.command === vesk,
    hooks: async ({ home }) => {
      const file = path.join(home, '.gemini', 'settings.json');
      if (HAND_HOOKS) {
        addHooks(file, Object.fromEntries(GEMINI_EVENTS.map((event) => [event, [{
          matcher: '',
          hooks: [{ name: 'vesk', type: 'command', command: `${shQuote(vesk)} hook gemini ${event}`,
            timeout: 5000 }],
        }]])));
      }
      hooksPresent(readJson(file).hooks, 'gemini', GEMINI_EVENTS);
    },
    start: (program) => [process.execPath, [program, '-p', PROMPT, '--yolo', '--model', 'gemini-2.5-flash']],
  },
];

const chosen = words.length ? AGENTS.filter((a) => words.includes(a.word)) : AGENTS;
const unknown = words.filter((w) => !AGENTS.some((a) => a.word === w));
if (unknown.length) {
  console.error(`unknown agent: ${unknown.join(', ')}`);
  process.exit(2);
}
const missing = chosen.filter((a) => !a.program());
if (missing.length) {
  console.log(`skipped: ${missing.map((a) => a.display).join(', ')} not installed ` +
    '(scripts/setup.sh installs them)');
  process.exit(77);
}

const checks = new Checks();

// One agent's run: its checks, each named after it.
async function runAgent(agent) {
  const check = (name, body) => checks.check(`${agent.word}: ${name}`, body);
  const program = agent.program();
  const tray = await startTray(vesk, standin, { PATH: process.env.PATH }, { byHome: true });
  const home = tray.env.HOME;
  let child = null;
  const snapshots = [];
  const model = await startModelServer({
    log,
    // While the model holds its answer the turn is in flight: the tray
    // app's holds and the agent's processes, at the start and the end.
    onHold: async () => {
      for (let i = 0; i < 2; i++) {
        if (i) await sleep(HOLD_MS);
        const holds = tray.status().holds;
        const tree = child ? processTree(child.pid) : [];
        snapshots.push({ holds, tree, names: new Map(tree.map((pid) => [pid, processName(pid)])) });
      }
    },
  });
  try {
    const env = { ...tray.env, ...agent.env(home, model.port) };
    const work = fs.mkdtempSync(path.join(home, 'work-'));
    const context = { home, env, work, program, port: model.port };
    agent.prepare(context);

    let ready = true;
    await check('vesk connect', async () => {
      const connect = await runToEnd(vesk, ['connect', agent.word], { env }, 15000);
      ready = connect.code === 0;
      expect(ready, `exit ${connect.code}: ${connect.stdout}${connect.stderr}`);
      expect(agent.mcpEntry(home), 'no vesk server in the agent\'s settings');
    });
    await check(HAND_HOOKS ? 'the hooks, written by hand' : 'the hooks vesk connect wrote', async () => {
      try {
        await agent.hooks(context);
      } catch (e) {
        ready = false;
        throw e;
      }
    });
    if (!ready) return;

    const [command, args] = agent.start(program);
    child = await run(command, args, { env, cwd: work }, RUN_LIMIT_MS);
    const exit = await child.done;
    log(`${agent.word}: exit ${exit.code} ${exit.signal} after ${exit.seconds} s; model ` +
      `${model.seen.join(', ')}\nstdout:\n${exit.stdout}\nstderr:\n${exit.stderr}`);
    console.log(`     ${agent.word}: the turn took ${exit.seconds.toFixed(1)} s`);

    await check('the turn runs to its end', async () => {
      expect(exit.code === 0, `exit ${exit.code} ${exit.signal}: ${exit.stderr.slice(-2000)}`);
      expect(exit.stdout.includes(FINAL_TEXT), `stdout: ${exit.stdout.slice(-2000)}`);
      expect(model.held === 1, `the model never saw the tool's result: ${model.seen.join(', ')}`);
    });

    await check('one hold while it works, bound to its process', async () => {
      expect(snapshots.length === 2, `looked ${snapshots.length} times`);
      for (const { holds, tree } of snapshots) {
        expect(holds.length === 1, `holds: ${JSON.stringify(holds)}`);
        const [hold] = holds;
        expect(typeof hold.reason === 'string' && hold.reason.startsWith(`${agent.display} is working in `),
          `reason ${JSON.stringify(hold.reason)}`);
        expect(tree.includes(hold.pid),
          `the hold is bound to ${hold.pid}, not to ${child.pid} or its descendants ${tree.join(' ')}`);
      }
      const [{ holds: [{ pid }], names }] = snapshots;
      console.log(`     ${agent.word}: the hold is bound to ${pid === child.pid ? 'the agent' : 'a descendant'} ` +
        `${pid} (${names.get(pid)}), the agent being ${child.pid} (${names.get(child.pid)})`);
    });

    await check('no hold once it has exited', async () => {
      const holds = tray.status().holds;
      expect(holds.length === 0, `holds left: ${JSON.stringify(holds)}`);
    });
  } finally {
    model.close();
    tray.stop();
  }
}

try {
  for (const agent of chosen) await runAgent(agent);
} catch (e) {
  checks.fail(e && e.stack ? e.stack : e);
}
checks.finish();
