// `vesk connect` and `vesk disconnect` against the agents' own readers, over
// a generated corpus of settings files (fixed seed): Cursor (JSON with
// comments, read by Microsoft's jsonc-parser as VS Code reads it), Gemini CLI
// (comments stripped by a reader that ends a `//` comment at LF only, then
// JSON.parse) and Cline (JSON.parse). For each file and agent, in a
// throw-away HOME:
// - a refused connect leaves the file byte for byte as it was;
// - a connect that succeeds gives a file the agent reads without an error,
//   whose mcpServers.vesk has the expected command and args (the whole entry
//   connect writes, where there was none), and whose other values are the
//   original's;
// - disconnect then gives the original's values back, and its bytes where
//   it had no vesk entry (or a text that the same connect turns into the
//   very same one, holding the same values but for an empty servers object).
// Refusals of files that the agent reads fine are counted and shown; those
// with "mcpServers" or "vesk" twice in one object are refused by design.
//
//   node jsonc_differential_test.mjs <vesk> <folder holding node_modules with jsonc-parser>
//
// Prints a closing "N passed, M failed"; exits 1 when a check failed, 77
// (skipped) when jsonc-parser is not installed. VESK_DIFF_FILES sets the
// number of generated files.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';

const [vesk0, packageFolder] = process.argv.slice(2);
const vesk = vesk0 && path.resolve(vesk0);
if (!vesk0 || !packageFolder) {
  console.error('usage: node jsonc_differential_test.mjs <vesk> <folder with node_modules>');
  process.exit(2);
}

let jsonc;
try {
  jsonc = createRequire(path.join(path.resolve(packageFolder), 'package.json'))('jsonc-parser');
} catch (e) {
  console.log(`skipped: jsonc-parser is not installed under ${packageFolder} ` +
    '(scripts/setup.sh installs it)');
  process.exit(77);
}

const FILES = Number(process.env.VESK_DIFF_FILES || 1000);
const POOL = Math.max(2, Math.min(6, os.cpus().length * 2));
const SHOWN = 12;

// ---- The agents' readers -----------------------------------------------------

const BOM = '\uFEFF';
const isBlank = (text) => /^[ \t\r\n]*$/.test(text);

// jsonc-parser as the editors call it; they drop a byte-order mark when they
// decode the file.
function readJsonc(text) {
  const errors = [];
  const value = jsonc.parse(text.startsWith(BOM) ? text.slice(1) : text, errors,
    { allowTrailingComma: true, disallowComments: false });
  if (errors.length) {
    const e = errors[0];
    throw new Error(`${jsonc.printParseErrorCode(e.error)} at offset ${e.offset}`);
  }
  return value;
}

// Comments out, as Gemini CLI's reader takes them out: a `//` comment ends at
// a line feed only, and each comment leaves blanks where it was.
function stripComments(text) {
  let out = '';
  let i = 0;
  while (i < text.length) {
    const c = text[i];
    if (c === '"') {
      let j = i + 1;
      while (j < text.length && text[j] !== '"') j += text[j] === '\\' ? 2 : 1;
      out += text.slice(i, j + 1);
      i = j + 1;
    } else if (c === '/' && text[i + 1] === '/') {
      let j = text.indexOf('\n', i);
      if (j < 0) j = text.length;
      if (text[j - 1] === '\r') j--;
      out += ' '.repeat(j - i);
      i = j;
    } else if (c === '/' && text[i + 1] === '*') {
      let j = text.indexOf('*/', i + 2);
      j = j < 0 ? text.length : j + 2;
      out += text.slice(i, j).replace(/[^\r\n]/g, ' ');
      i = j;
    } else {
      out += c;
      i++;
    }
  }
  return out;
}

const AGENTS = [
  {
    word: 'cursor', file: (home) => path.join(home, '.cursor', 'mcp.json'),
    comments: true, trailingCommas: true, read: readJsonc,
  },
  {
    word: 'gemini', file: (home) => path.join(home, '.gemini', 'settings.json'),
    comments: true, trailingCommas: false, read: (text) => JSON.parse(stripComments(text)),
  },
  {
    word: 'cline',
    file: (home) => path.join(home, '.cline', 'data', 'settings', 'cline_mcp_settings.json'),
    comments: false, trailingCommas: false, read: (text) => JSON.parse(text),
  },
];

// The file's values as the agent reads them; a file of nothing but blanks
// and comments counts as {}, as vesk takes it. Throws when the agent can't
// read it.
function readAs(agent, text) {
  if (isBlank(text.startsWith(BOM) ? text.slice(1) : text) ||
      (agent.comments && isBlank(stripComments(text)))) {
    return {};
  }
  return agent.read(text);
}

// ---- The corpus --------------------------------------------------------------

function random(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6D2B79F5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

// One generated settings file: its text, and why vesk must refuse it, if it
// must: "mcpServers" or "vesk" twice in one object, or a line comment ended
// by a lone CR.
function generate(rand, agent) {
  const pick = (list) => list[Math.floor(rand() * list.length)];
  const chance = (p) => rand() < p;
  // Mostly in the agent's own dialect; now and then not, for the refusals.
  const comments = agent.comments ? chance(0.8) : chance(0.1);
  const trailing = agent.trailingCommas ? chance(0.4) : chance(0.05);
  const eol = pick(['\n', '\n', '\r\n', '\r']);
  const unit = pick(['  ', '  ', '    ', '\t', '']);
  const oneLine = unit === '' || chance(0.15);
  let byDesign = '';

  const comment = (inLine) => {
    const body =
      pick(['x', ' add servers here ', ' "vesk": 1 ', ' // inner ', ' {,} ', ' é😀 ']);
    if (!comments) return '';
    if (!inLine && chance(0.5)) {
      // A line comment, ended by the file's line end, and rarely by a lone CR.
      const end = eol === '\n' && chance(0.03) ? '\r' : eol;
      if (end === '\r') byDesign = 'a line comment ended by a lone CR';
      return `//${body}${end}`;
    }
    return chance(0.2) ? `/*${body}${eol}${body}*/` : `/*${body}*/`;
  };
  // What stands between two tokens: blanks, a line break, a comment.
  const gap = (indent) => {
    let out = '';
    if (chance(0.15)) out += pick([' ', '\t', '  ']);
    if (chance(comments ? 0.12 : 0.02)) out += comment(oneLine) + (chance(0.5) ? ' ' : '');
    if (!oneLine && chance(0.05)) out += eol + indent;
    return out;
  };
  const stringText = () => {
    const parts = ['plain', 'é', '😀', '\\"q\\"', '\\\\', '\\/', '\\n', '\\t', '\\u00e9',
      '\\ud83d\\ude00', '\\uD83D\\uDE00', '// not a comment', '/* nor this */', 'vesk', ''];
    let s = '';
    for (let k = Math.floor(rand() * 3); k >= 0; k--) s += pick(parts);
    return `"${s}"`;
  };
  const scalar = () => pick([
    () => String(Math.floor(rand() * 1000) - 500), () => '1.5e3', () => '-0.25', () => 'true',
    () => 'false', () => 'null', stringText,
  ])();

  // A container from its items' texts, laid out as the file is.
  const container = (open, close, items, indent) => {
    if (!items.length) {
      const between = ['', ' ', comments ? comment(true) : '', oneLine ? '' : eol + indent];
      return open + pick(between) + close;
    }
    const inner = indent + unit;
    const own = !oneLine && chance(0.85);
    let out = open;
    items.forEach((item, k) => {
      out += (own ? eol + inner : k ? ' ' : '') + gap(inner) + item + gap(inner);
      if (k + 1 < items.length) out += ',';
      else if (trailing && chance(0.6)) out += ',';
      if (own && comments && chance(0.1)) out += ' ' + comment(false).replace(/(\r\n|\r|\n)$/, '');
    });
    return out + (own ? eol + indent : '') + gap(indent) + close;
  };
  const member = (key, value, indent) => `"${key}"${gap(indent)}:${gap(indent)}${value}`;
  const value = (depth, indent) => {
    const r = rand();
    if (depth > 3 || r < 0.55) return scalar();
    if (r < 0.8) {
      const n = Math.floor(rand() * 4);
      const items = [];
      for (let k = 0; k < n; k++) items.push(value(depth + 1, indent + unit));
      return container('[', ']', items, indent);
    }
    return object(depth, indent, []);
  };
  const object = (depth, indent, fixed) => {
    const members = [...fixed];
    for (let k = Math.floor(rand() * 4); k > 0; k--) {
      const key = pick(['a', 'b', 'theme', 'é', 'key with spaces', 'command', 'args', 'a']);
      members.splice(Math.floor(rand() * (members.length + 1)), 0,
        member(key, value(depth + 1, indent + unit), indent + unit));
    }
    return container('{', '}', members, indent);
  };
  const server = (indent) => object(2, indent, [
    member('command', stringText(), indent + unit),
    member('args',
      container('[', ']', ['"mcp"', stringText()].slice(0, 1 + (rand() < 0.5)), indent + unit),
      indent + unit),
  ]);
  const vesk = (indent) => pick([
    () => '"old"', () => '1', () => '[]', () => '{}', () => server(indent),
    () => object(2, indent, [member('command', '"/elsewhere/vesk"', indent + unit),
      member('args', '["mcp"]', indent + unit), member('env', '{"A": "1"}', indent + unit)]),
  ])();

  const shape = rand();
  if (shape < 0.05) return { text: pick(['', ' ', '\n', eol + eol, '\t' + eol]), byDesign };
  if (shape < 0.08 && comments) return { text: comment(false) + pick(['', eol]), byDesign };

  const rootMembers = [];
  if (rand() < 0.7) {
    const servers = [];
    for (let k = Math.floor(rand() * 3); k > 0; k--) {
      servers.push(member(pick(['other', 'x', 'Vesk', 'vesk ']), server(unit + unit), unit + unit));
    }
    if (rand() < 0.3) servers.splice(Math.floor(rand() * (servers.length + 1)), 0,
      member(pick(['vesk', 'vesk', 'v\\u0065sk']), vesk(unit + unit), unit + unit));
    if (rand() < 0.02) {
      servers.push(member('vesk', '1', unit + unit), member('vesk', '2', unit + unit));
      byDesign = 'a servers or vesk key twice';
    }
    rootMembers.push(member(pick(['mcpServers', 'mcpServers', 'mcp\\u0053ervers']),
      container('{', '}', servers, unit), unit));
    if (rand() < 0.02) {
      rootMembers.push(member('mcpServers', '{}', unit));
      byDesign = 'a servers or vesk key twice';
    }
  }
  let text = object(0, '', rootMembers);
  if (chance(0.1)) text = comment(false) + text;
  if (chance(0.6)) text += eol;
  if (chance(0.05)) text = BOM + text;
  return { text, byDesign };
}

// ---- Running vesk ------------------------------------------------------------

function run(home, args) {
  return new Promise((resolve, reject) => {
    const env = { PATH: process.env.PATH, HOME: home };
    const child = spawn(vesk, args, { cwd: home, env, stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '';
    child.stdout.on('data', (d) => { out += d; });
    child.stderr.on('data', (d) => { out += d; });
    const timer = setTimeout(() => child.kill('SIGKILL'), 20000);
    child.on('error', (e) => { clearTimeout(timer); reject(e); });
    child.on('close', (status) => { clearTimeout(timer); resolve({ status, out: out.trim() }); });
  });
}

const sameJson = (a, b) => JSON.stringify(a) === JSON.stringify(b);

// The values but mcpServers.vesk, and an empty servers object.
function others(value) {
  const copy = structuredClone(value);
  const servers = copy && copy.mcpServers;
  if (servers && typeof servers === 'object' && !Array.isArray(servers)) {
    delete servers.vesk;
    if (!Object.keys(servers).length) delete copy.mcpServers;
  }
  return copy;
}

// Key order as written: compared sorted, since both readers keep it anyway.
function sorted(value) {
  if (Array.isArray(value)) return value.map(sorted);
  if (value && typeof value === 'object') {
    return Object.fromEntries(Object.keys(value).sort().map((k) => [k, sorted(value[k])]));
  }
  return value;
}
const sameValues = (a, b) => sameJson(sorted(a), sorted(b));

const fresh = {};  // the whole entry connect writes into a file without one, by agent

async function check(agent, doc, root, index) {
  const home = path.join(root, `h${index}`);
  const file = agent.file(home);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, doc.text);
  const shown = JSON.stringify(doc.text);
  const fail = (what) => ({ fail: `${agent.word}: ${what}` });
  let original;
  let readable = true;
  try {
    original = readAs(agent, doc.text);
  } catch (e) {
    readable = false;
  }
  const connect = await run(home, ['connect', '--no-hooks', agent.word]);
  const after = fs.readFileSync(file, 'utf8');
  try {
    if (connect.status !== 0) {
      if (after !== doc.text) return fail(`a refused connect changed ${shown}`);
      if (!readable) return { refused: 'unreadable', agent: agent.word };
      return { refused: doc.byDesign ? 'by design' : 'readable', text: shown, why: connect.out };
    }
    if (!readable) return fail(`connect edited ${shown}, which the agent can't read`);
    let connected;
    try {
      connected = agent.read(after);
    } catch (e) {
      return fail(`after connect the agent can't read ${JSON.stringify(after)} (${e.message}); ` +
        `before: ${shown}`);
    }
    const entry = connected && connected.mcpServers && connected.mcpServers.vesk;
    const expected = fresh[agent.word];
    const hadEntry = original.mcpServers && typeof original.mcpServers === 'object' &&
      Object.hasOwn(original.mcpServers, 'vesk');
    if (!entry || entry.command !== expected.command || !sameJson(entry.args, expected.args) ||
        (!hadEntry && !sameJson(entry, expected))) {
      return fail(`the entry is ${JSON.stringify(entry)} in ${JSON.stringify(after)}`);
    }
    if (!sameValues(others(connected), others(original))) {
      return fail(`connect changed other values: ${shown} -> ${JSON.stringify(after)}`);
    }
    const disconnect = await run(home, ['disconnect', agent.word]);
    const back = fs.readFileSync(file, 'utf8');
    if (disconnect.status !== 0) {
      return fail(`disconnect failed on ${JSON.stringify(after)}: ${disconnect.out}`);
    }
    let values;
    try {
      values = readAs(agent, back);
    } catch (e) {
      return fail(`after disconnect the agent can't read ${JSON.stringify(back)}`);
    }
    if (!sameValues(others(values), others(original)) ||
        (values.mcpServers && values.mcpServers.vesk !== undefined)) {
      return fail(`disconnect gave ${JSON.stringify(back)} for ${shown}`);
    }
    // An empty file (as one connect made) keeps an empty object, which
    // every agent can read.
    if (!hadEntry && doc.text === '' && back === '{}\n') return { ok: true };
    if (!hadEntry && back !== doc.text) {
      // Only a text that connect turns into the very same one may come back.
      fs.writeFileSync(file, back);
      await run(home, ['connect', '--no-hooks', agent.word]);
      if (fs.readFileSync(file, 'utf8') !== after) {
        return fail(`disconnect gave ${JSON.stringify(back)}, not ${shown}`);
      }
      return { ok: true, same: true };
    }
    return { ok: true };
  } finally {
    fs.rmSync(home, { recursive: true, force: true });
  }
}

// ---- The run -----------------------------------------------------------------

const root = fs.mkdtempSync(path.join(os.tmpdir(), 'vesk-jsonc-diff-'));
let passed = 0;
let failed = 0;
const failures = [];
const refusals = { readable: [], 'by design': 0, unreadable: 0 };
const unreadable = Object.fromEntries(AGENTS.map((a) => [a.word, 0]));
let sameAfterConnect = 0;
try {
  for (const agent of AGENTS) {
    const home = path.join(root, `fresh-${agent.word}`);
    fs.mkdirSync(home);
    const r = await run(home, ['connect', '--no-hooks', agent.word]);
    if (r.status !== 0) throw new Error(`vesk connect ${agent.word} failed: ${r.out}`);
    fresh[agent.word] = JSON.parse(fs.readFileSync(agent.file(home), 'utf8')).mcpServers.vesk;
  }
  const rand = random(20261210);
  const tasks = [];
  for (let k = 0; k < FILES; k++) {
    for (const agent of AGENTS) tasks.push({ agent, doc: generate(rand, agent) });
  }
  let next = 0;
  const worker = async () => {
    while (next < tasks.length) {
      const index = next++;
      const { agent, doc } = tasks[index];
      let result;
      try {
        result = await check(agent, doc, root, index);
      } catch (e) {
        result = { fail: `${agent.word}: ${e.message} on ${JSON.stringify(doc.text)}` };
      }
      if (result.fail) {
        failed++;
        failures.push(result.fail);
        continue;
      }
      passed++;
      if (result.same) sameAfterConnect++;
      if (result.refused === 'readable') refusals.readable.push(`${result.text}: ${result.why}`);
      else if (result.refused) refusals[result.refused]++;
      if (result.refused === 'unreadable') unreadable[result.agent]++;
    }
  };
  await Promise.all(Array.from({ length: POOL }, worker));
} finally {
  fs.rmSync(root, { recursive: true, force: true });
}

for (const f of failures.slice(0, SHOWN)) console.log(`FAIL ${f}`);
if (failures.length > SHOWN) console.log(`FAIL ... and ${failures.length - SHOWN} more`);
console.log(`refused, though the agent reads them: ${refusals.readable.length}`);
for (const r of refusals.readable.slice(0, SHOWN)) console.log(`  ${r}`);
console.log(`refused by design (a servers or vesk key twice, a line comment ended by a lone CR): ` +
  `${refusals['by design']}; ` +
  `refused, and the agent can't read them either: ${refusals.unreadable} ` +
  `(${Object.entries(unreadable).map(([w, n]) => `${w} ${n}`).join(', ')})`);
console.log(`given back as another text that connect turns into the same one: ${sameAfterConnect}`);
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
