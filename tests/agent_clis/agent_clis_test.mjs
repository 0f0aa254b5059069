// `vesk connect` and `vesk disconnect` against the real agent CLIs: each CLI,
// in a throw-away HOME, must list the vesk server as connected after the
// connect and no longer list it after the disconnect, and the user's own
// server and comment must stay.
//
//   node agent_clis_test.mjs <vesk> <folder holding node_modules with the CLIs> [word...]
//
// The words pick the agents (all of them when none is given). Prints one line
// per check and a closing "N passed, N failed"; exits 1 when a check failed,
// 77 (skipped) when the CLIs are not installed.
//
// VESK_CLI_TEST_HAND_WRITE=1 writes and removes the vesk entry by hand, in the
// shape each agent expects, instead of running `vesk connect` and
// `vesk disconnect`: a case that passes that way and fails the other way
// points at vesk, not at the CLI.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import { Checks, expect } from '../mcp_client/harness.mjs';

const [veskArg, cliFolder, ...words] = process.argv.slice(2);
if (!veskArg || !cliFolder) {
  console.error('usage: node agent_clis_test.mjs <vesk> <agent CLIs folder> [word...]');
  process.exit(2);
}
const handWrite = process.env.VESK_CLI_TEST_HAND_WRITE === '1';
// What `vesk connect` writes as the command: the program itself.
const vesk = fs.realpathSync(veskArg);
const bin = path.join(path.resolve(cliFolder), 'node_modules', '.bin');
// Each CLI run gets this long; the slowest take some 20 s on a busy machine.
const RUN_LIMIT_MS = 150000;

const COMMENT = '// Kept by hand: this line must survive vesk.';
const OTHER = '/bin/false';

// The agents. `file` is the settings file under the HOME, `env` what the CLI
// and vesk see besides HOME and PATH, `text` the file with or without the vesk
// entry (the first is the starting file, the second what a connect gives),
// `entry` the vesk entry a connect must write, `trailingCommas` whether the
// CLI accepts them, and `list` runs the CLI's own list command and returns
// what it shows for the vesk and the other server.
const AGENTS = [
  {
    word: 'gemini',
    file: (home) => path.join(home, '.gemini', 'settings.json'),
    env: () => ({ GEMINI_CLI_TRUST_WORKSPACE: 'true', GEMINI_CLI_NO_RELAUNCH: 'true' }),
    trailingCommas: false,
    text: (withVesk) => geminiText(withVesk),
    entry: { command: vesk, args: ['mcp'] },
    list: (run) => listStatusLines(run, 'gemini'),
  },
  {
    word: 'qwen',
    // Through QWEN_HOME, which vesk must honour as Qwen Code does.
    file: (home) => path.join(home, 'qwen-home', 'settings.json'),
    env: (home) => ({ QWEN_HOME: path.join(home, 'qwen-home') }),
    trailingCommas: false,
    text: (withVesk) => geminiText(withVesk),
    entry: { command: vesk, args: ['mcp'] },
    list: (run) => listStatusLines(run, 'qwen'),
  },
  {
    word: 'copilot',
    file: (home) => path.join(home, '.copilot', 'mcp-config.json'),
    env: () => ({
      COPILOT_AUTO_UPDATE: 'false',
      // The CLI unpacks itself here on its first run; shared, it does so once.
      COPILOT_PKG_CACHE_HOME: path.join(path.resolve(cliFolder), 'copilot-cache'),
    }),
    trailingCommas: true,
    text: (withVesk) => [
      COMMENT,
      '{',
      '  /* the user\'s own server */',
      '  "mcpServers": {',
      `    "other": {"type": "local", "command": "${OTHER}", "args": [], "tools": ["*"]}${withVesk ? ',' : ''}`,
      ...(withVesk
        ? [`    "vesk": {"type": "local", "command": ${JSON.stringify(vesk)}, "args": ["mcp"], "tools": ["*"]}`]
        : []),
      '  }',
      '}',
      '',
    ].join('\n'),
    entry: { type: 'local', command: vesk, args: ['mcp'], tools: ['*'] },
    list: copilotList,
  },
  {
    word: 'opencode',
    file: (home) => path.join(home, '.config', 'opencode', 'opencode.jsonc'),
    env: () => ({
      OPENCODE_DISABLE_AUTOUPDATE: 'true',
      OPENCODE_DISABLE_MODELS_FETCH: 'true',
      OPENCODE_DISABLE_DEFAULT_PLUGINS: 'true',
    }),
    trailingCommas: true,
    text: (withVesk) => openCodeText(withVesk, 'https://opencode.ai/config.json'),
    entry: { type: 'local', command: [vesk, 'mcp'], enabled: true },
    list: (run) => listTreeLines(run, 'opencode'),
  },
  {
    word: 'kilo',
    // Through XDG_CONFIG_HOME, which vesk must honour as Kilo does.
    file: (home) => path.join(home, 'xdg', 'kilo', 'kilo.jsonc'),
    env: (home) => ({
      XDG_CONFIG_HOME: path.join(home, 'xdg'),
      KILO_DISABLE_AUTOUPDATE: 'true',
      KILO_DISABLE_MODELS_FETCH: 'true',
      KILO_DISABLE_DEFAULT_PLUGINS: 'true',
      KILO_TELEMETRY_LEVEL: 'off',
    }),
    trailingCommas: true,
    text: (withVesk) => openCodeText(withVesk, 'https://app.kilo.ai/config.json'),
    entry: { type: 'local', command: [vesk, 'mcp'], enabled: true },
    list: (run) => listTreeLines(run, 'kilo'),
  },
];

// Gemini CLI and Qwen Code: comments, but no trailing commas.
function geminiText(withVesk) {
  return [
    COMMENT,
    '{',
    '  /* the user\'s own server */',
    '  "mcpServers": {',
    `    "other": {"command": "${OTHER}", "args": []}${withVesk ? ',' : ''}`,
    ...(withVesk ? [`    "vesk": {"command": ${JSON.stringify(vesk)}, "args": ["mcp"]}`] : []),
    '  }',
    '}',
    '',
  ].join('\n');
}

function openCodeText(withVesk, schema) {
  return [
    COMMENT,
    '{',
    `  "$schema": "${schema}",`,
    '  /* the user\'s own server */',
    '  "mcp": {',
    `    "other": {"type": "local", "command": ["${OTHER}"], "enabled": true},`,
    ...(withVesk
      ? [`    "vesk": {"type": "local", "command": [${JSON.stringify(vesk)}, "mcp"], "enabled": true},`]
      : []),
    '  },',
    '}',
    '',
  ].join('\n');
}

const stripAnsi = (text) => text.replace(/\x1b\[[0-9;]*[A-Za-z]/g, '');

// `gemini mcp list`, `qwen mcp list`: "✓ vesk: <command> mcp (stdio) - Connected".
async function listStatusLines(run, cli) {
  const out = await run(cli, ['mcp', 'list']);
  const line = (name) => out.lines.find((l) => l.trim().replace(/^\S+\s+/, '').startsWith(`${name}: `));
  const vesk = line('vesk');
  return {
    out,
    vesk,
    veskConnected: !!vesk && /^\s*✓ vesk: /.test(vesk) && vesk.includes(`${veskCommand()} (stdio)`)
      && /- Connected\s*$/.test(vesk),
    other: line('other'),
  };
}

// `opencode mcp list`, `kilo mcp list`: "●  ✓ vesk connected", the command on the next line.
async function listTreeLines(run, cli) {
  const out = await run(cli, ['mcp', 'list']);
  const index = (name) => out.lines.findIndex((l) => new RegExp(`^●\\s+\\S+ ${name} `).test(l));
  const at = index('vesk');
  const vesk = at < 0 ? undefined : out.lines.slice(at, at + 2).join(' / ');
  return {
    out,
    vesk,
    veskConnected: at >= 0 && /^●\s+✓ vesk connected\s*$/.test(out.lines[at])
      && (out.lines[at + 1] ?? '').includes(veskCommand()),
    other: index('other') < 0 ? undefined : out.lines[index('other')],
  };
}

// Copilot CLI starts no server to list them: `copilot mcp get vesk` must show
// the entry enabled with this program, and `copilot mcp list` both servers.
async function copilotList(run) {
  const out = await run('copilot', ['mcp', 'list']);
  const get = await run('copilot', ['mcp', 'get', 'vesk'], { anyStatus: true });
  const listed = (name) => out.lines.find((l) => new RegExp(`^\\s+${name} \\(local`).test(l));
  return {
    out: { text: `${out.text}\n$ copilot mcp get vesk (exit ${get.status})\n${get.text}` },
    vesk: listed('vesk'),
    veskConnected: get.status === 0 && get.lines.some((l) => /^\s*Status: Enabled\s*$/.test(l))
      && get.lines.some((l) => l.trim() === `Command: ${veskCommand()}`),
    veskGone: get.status !== 0 && /Server "vesk" not found/.test(get.text) && !listed('vesk'),
    other: listed('other'),
  };
}

const veskCommand = () => `${vesk} mcp`;

// The value of a JSON text that may hold comments and, when `trailingCommas`,
// commas before a closing bracket; throws on anything else.
function parseJsonc(text, trailingCommas) {
  let out = '';
  for (let i = 0; i < text.length;) {
    const c = text[i];
    if (c === '"') {
      let j = i + 1;
      while (j < text.length && text[j] !== '"') j += text[j] === '\\' ? 2 : 1;
      out += text.slice(i, j + 1);
      i = j + 1;
    } else if (text.startsWith('//', i)) {
      while (i < text.length && text[i] !== '\n') i++;
    } else if (text.startsWith('/*', i)) {
      const end = text.indexOf('*/', i + 2);
      if (end < 0) throw new Error('an unclosed comment');
      out += ' ';
      i = end + 2;
    } else {
      out += c;
      i++;
    }
  }
  if (trailingCommas) out = out.replace(/,(\s*[}\]])/g, '$1');
  return JSON.parse(out);
}

const sameJson = (a, b) => JSON.stringify(a) === JSON.stringify(b);

// Runs `command args` (a CLI from the installed folder, or vesk) in `home`'s
// project folder with the agent's environment; resolves with its output. It
// fails on a non-zero exit unless `anyStatus`, and on running too long.
function runner(agent, home) {
  const env = {
    PATH: process.env.PATH,
    HOME: home,
    TMPDIR: path.join(home, 'tmp'),
    ...agent.env(home),
  };
  const cwd = path.join(home, 'project');
  return (command, args, { anyStatus = false } = {}) => new Promise((resolve, reject) => {
    const program = command === 'vesk' ? vesk : path.join(bin, command);
    const child = spawn(program, args, { cwd, env, stdio: ['ignore', 'pipe', 'pipe'] });
    let text = '';
    child.stdout.on('data', (d) => { text += d; });
    child.stderr.on('data', (d) => { text += d; });
    const timer = setTimeout(() => child.kill('SIGKILL'), RUN_LIMIT_MS);
    child.on('error', (e) => { clearTimeout(timer); reject(e); });
    child.on('close', (status, signal) => {
      clearTimeout(timer);
      text = stripAnsi(text);
      const shown = `$ ${command} ${args.join(' ')}\n${text}`;
      if (signal) reject(new Error(`${command} ${args.join(' ')} ran over ${RUN_LIMIT_MS / 1000} s\n${shown}`));
      else if (status !== 0 && !anyStatus) reject(new Error(`exit ${status}\n${shown}`));
      else resolve({ status, text, lines: text.split(/\r?\n/) });
    });
  });
}

// The file's text, its servers object and its vesk entry.
function readSettings(agent, home) {
  const text = fs.readFileSync(agent.file(home), 'utf8');
  const value = parseJsonc(text, agent.trailingCommas);
  const servers = agent.word === 'opencode' || agent.word === 'kilo' ? value.mcp : value.mcpServers;
  expect(servers && typeof servers === 'object', `no servers object in\n${text}`);
  return { text, servers };
}

async function runAgent(agent, checks) {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), `vesk-${agent.word}-`));
  const run = runner(agent, home);
  const name = (what) => `${agent.word}: ${what}`;
  // Each step runs only when the ones before it passed.
  let ok = true;
  const step = async (what, body) => {
    if (!ok) return;
    const before = checks.failed;
    await checks.check(name(what), body);
    ok = checks.failed === before;
  };
  try {
    fs.mkdirSync(path.join(home, 'project'));
    fs.mkdirSync(path.join(home, 'tmp'));
    fs.mkdirSync(path.dirname(agent.file(home)), { recursive: true });
    fs.writeFileSync(agent.file(home), agent.text(false));

    await step(handWrite ? 'the vesk entry is written by hand' : 'vesk connect', async () => {
      if (handWrite) fs.writeFileSync(agent.file(home), agent.text(true));
      else await run('vesk', ['connect', agent.word]);
    });
    // Before the CLI runs: some rewrite their file when they load it.
    await step('the file keeps the comment and the other server, and holds the entry', () => {
      const { text, servers } = readSettings(agent, home);
      expect(text.includes(COMMENT), `the comment is gone:\n${text}`);
      expect(servers.other, `the other server is gone:\n${text}`);
      expect(sameJson(servers.vesk, agent.entry),
        `the vesk entry is ${JSON.stringify(servers.vesk)}, not ${JSON.stringify(agent.entry)}`);
    });
    await step('its own list shows vesk connected and the other server', async () => {
      const listed = await agent.list(run);
      expect(listed.veskConnected, `vesk is not shown connected:\n${listed.out.text}`);
      expect(listed.other, `the other server is not listed:\n${listed.out.text}`);
    });
    await step(handWrite ? 'the vesk entry is removed by hand' : 'vesk disconnect', async () => {
      if (handWrite) fs.writeFileSync(agent.file(home), agent.text(false));
      else await run('vesk', ['disconnect', agent.word]);
    });
    await step('the file keeps the comment and the other server, without the entry', () => {
      const { text, servers } = readSettings(agent, home);
      expect(text.includes(COMMENT), `the comment is gone:\n${text}`);
      expect(servers.other, `the other server is gone:\n${text}`);
      expect(!('vesk' in servers), `the vesk entry is still there:\n${text}`);
    });
    await step('its own list no longer shows vesk and still the other server', async () => {
      const listed = await agent.list(run);
      expect(!listed.vesk && listed.veskGone !== false, `vesk is still listed:\n${listed.out.text}`);
      expect(listed.other, `the other server is not listed:\n${listed.out.text}`);
    });
  } catch (e) {
    checks.fail(name(e && e.message ? e.message : e));
  } finally {
    fs.rmSync(home, { recursive: true, force: true });
  }
}

const chosen = words.length ? AGENTS.filter((a) => words.includes(a.word)) : AGENTS;
if (chosen.length !== (words.length || AGENTS.length)) {
  console.error(`unknown agent; the words are ${AGENTS.map((a) => a.word).join(', ')}`);
  process.exit(2);
}
const missing = chosen.filter((a) => !fs.existsSync(path.join(bin, a.word)));
if (missing.length) {
  console.log(`skipped: ${missing.map((a) => a.word).join(', ')} not installed under ${bin}`
    + ' (scripts/setup.sh installs them)');
  process.exit(77);
}
if (handWrite) console.log('VESK_CLI_TEST_HAND_WRITE=1: the entries are written by hand, vesk is not run');

const checks = new Checks();
await Promise.all(chosen.map((agent) => runAgent(agent, checks)));
checks.finish();
