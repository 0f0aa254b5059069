// Runs the real Codex CLI (`codex exec`, default approvals) against `vesk mcp`
// as a new user would set it up: `vesk connect codex` registers vesk in a
// temporary Codex home, and Codex talks to a local model server on
// 127.0.0.1 that speaks the OpenAI Responses API. That server scripts one
// stay_awake call, then a closing message, and records what Codex sends
// back, while the stand-in tray app serves the app folder.
//
//   node codex_test.mjs <vesk> <vesk-standin> <folder holding node_modules with @openai/codex>
//
// Prints one line per check and a closing "N passed, N failed"; exits 1 when
// a check failed, 77 (skipped) when Codex is not installed. With
// VESK_CODEX_LOG set, every request the model server gets is printed.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';

import { Checks, codexEntryOrSkip, expect, startTray } from './harness.mjs';

const [vesk, standin, packageFolder] = process.argv.slice(2);
if (!vesk || !standin || !packageFolder) {
  console.error('usage: node codex_test.mjs <vesk> <vesk-standin> <folder with node_modules>');
  process.exit(2);
}

const codexEntry = codexEntryOrSkip(packageFolder);

const TOOL = 'mcp__vesk__stay_awake';
const PROMPT = 'keep the laptop awake while the tests run';
const CLOSING = 'The laptop stays awake while the tests run.';
const log = process.env.VESK_CODEX_LOG ? (...a) => console.log(...a) : () => {};

// Server-sent events of one streamed response.
function sse(events) {
  return events.map((e) => `event: ${e.type}\ndata: ${JSON.stringify(e)}\n\n`).join('');
}

function response(id, item) {
  return sse([
    { type: 'response.created', response: { id } },
    { type: 'response.output_item.done', output_index: 0, item },
    {
      type: 'response.completed',
      response: {
        id,
        usage: {
          input_tokens: 10, input_tokens_details: null, output_tokens: 5,
          output_tokens_details: null, total_tokens: 15,
        },
      },
    },
  ]);
}

// How the model names vesk's stay_awake among the tools that Codex offers:
// the flat name, or the tool inside the server's namespace; null when it is
// not offered.
function stayAwakeCall(tools) {
  for (const tool of tools || []) {
    if (tool.type === 'function' && tool.name === TOOL) return { name: TOOL };
    if (tool.type === 'namespace' && tool.name === 'mcp__vesk' &&
        (tool.tools || []).some((t) => t.name === 'stay_awake')) {
      return { namespace: 'mcp__vesk', name: 'stay_awake' };
    }
  }
  return null;
}

// The model: a stay_awake call first; once the call's output comes back,
// the closing message. `onOutput` sees each output as it arrives, before
// Codex goes on.
function startModel(onOutput) {
  const seen = { requests: [], call: null, outputs: [] };
  const server = http.createServer((req, res) => {
    let body = '';
    req.setEncoding('utf8');
    req.on('data', (chunk) => { body += chunk; });
    req.on('end', () => {
      log(`model server: ${req.method} ${req.url} ${body}`);
      seen.requests.push(`${req.method} ${req.url}`);
      if (req.method !== 'POST' || !req.url.endsWith('/responses')) {
        res.writeHead(404, { 'content-type': 'application/json' });
        res.end('{"error":{"message":"not here"}}');
        return;
      }
      let request = {};
      try { request = JSON.parse(body); } catch { /* answered as a first turn */ }
      if (seen.call === null) seen.call = stayAwakeCall(request.tools);
      const outputs = (request.input || []).filter((i) => i.type === 'function_call_output');
      res.writeHead(200, { 'content-type': 'text/event-stream', 'cache-control': 'no-cache' });
      if (outputs.length === 0) {
        res.end(response('resp_1', {
          type: 'function_call', id: 'fc_1', call_id: 'call_1', ...(seen.call || { name: TOOL }),
          arguments: JSON.stringify({ reason: 'Running the tests' }),
        }));
        return;
      }
      for (const o of outputs) {
        seen.outputs.push(o.output);
        onOutput(o.output);
      }
      res.end(response('resp_2', {
        type: 'message', role: 'assistant', id: 'msg_1',
        content: [{ type: 'output_text', text: CLOSING }],
      }));
    });
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({ server, seen, port: server.address().port }));
  });
}

// The texts a function call output carries: a plain string, or content items.
function outputTexts(output) {
  if (typeof output === 'string') return [output];
  if (Array.isArray(output)) return output.map((i) => (i && typeof i.text === 'string' ? i.text : ''));
  return [JSON.stringify(output)];
}

function parsed(text) {
  try { return JSON.parse(text); } catch { return undefined; }
}

// The tray app's reply to the hold, found in the call's output however
// Codex wraps it: the reply's JSON (alone, or after a header such as
// "Output:"), or a tool result holding it as a text item.
function holdReply(output) {
  for (const text of outputTexts(output)) {
    const candidates = [parsed(text), parsed(text.slice(Math.max(0, text.indexOf('{'))))];
    for (const value of candidates.slice()) {
      const items = Array.isArray(value) ? value : Array.isArray(value?.content) ? value.content : [];
      for (const item of items) candidates.push(parsed(item?.text));
    }
    const found = candidates.find((c) => c?.ok === true && typeof c?.hold?.id === 'string');
    if (found) return found;
  }
  return null;
}

function run(command, args, options, limitMs) {
  return new Promise((resolve) => {
    const child = spawn(command, args, { ...options, stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.on('data', (chunk) => { stdout += chunk; });
    child.stderr.on('data', (chunk) => { stderr += chunk; });
    // Codex's launcher passes SIGTERM on to the native program; SIGKILL
    // would leave that running.
    let hard;
    const timer = setTimeout(() => {
      child.kill('SIGTERM');
      hard = setTimeout(() => child.kill('SIGKILL'), 5000);
    }, limitMs);
    child.on('close', (code, signal) => {
      clearTimeout(timer);
      clearTimeout(hard);
      resolve({ code, signal, stdout, stderr });
    });
  });
}

const checks = new Checks('codex: ');
const check = checks.check.bind(checks);
// Codex passes a server only a few variables (HOME among them), so the app
// folder is found from HOME alone, as on a machine without APPDATA.
const tray = await startTray(vesk, standin, { PATH: process.env.PATH }, { byHome: true });
const home = tray.env.HOME;
const codexHome = path.join(home, '.codex');
const env = { ...tray.env, CODEX_HOME: codexHome, VESK_TEST_MODEL_KEY: 'test-key', NO_COLOR: '1' };

const holdsWhenAnswered = [];
const model = await startModel(() => holdsWhenAnswered.push(tray.status().holds));

try {
  await check('vesk connect codex', async () => {
    fs.mkdirSync(codexHome, { recursive: true });
    // The user's own settings come first: the local model server.
    fs.writeFileSync(path.join(codexHome, 'config.toml'), [
      'model = "vesk-test-model"',
      'model_provider = "vesk-test"',
      '',
      '[model_providers.vesk-test]',
      'name = "vesk test model"',
      `base_url = "http://127.0.0.1:${model.port}/v1"`,
      'wire_api = "responses"',
      'env_key = "VESK_TEST_MODEL_KEY"',
      '',
    ].join('\n'));
    // The MCP server alone: the holds the hooks take are tests/agent_clis/hooks_test.mjs's.
    const connect = await run(vesk, ['connect', '--no-hooks', 'codex'], { env }, 15000);
    expect(connect.code === 0, `exit ${connect.code}: ${connect.stdout}${connect.stderr}`);
    const config = fs.readFileSync(path.join(codexHome, 'config.toml'), 'utf8');
    expect(config.includes('[mcp_servers.vesk]'), config);
  });

  const work = fs.mkdtempSync(path.join(home, 'work-'));
  const exec = await run(process.execPath,
    [codexEntry, 'exec', '--skip-git-repo-check', PROMPT], { env, cwd: work }, 60000);
  log(`codex exit ${exec.code} ${exec.signal}\nstdout:\n${exec.stdout}\nstderr:\n${exec.stderr}`);

  await check('codex exec ends well', async () => {
    expect(exec.code === 0, `exit ${exec.code} ${exec.signal}: ${exec.stderr.slice(-2000)}`);
    expect(exec.stdout.includes(CLOSING), `stdout: ${exec.stdout}`);
  });

  await check('Codex offers the model the vesk tools', async () => {
    expect(model.seen.call !== null, `no ${TOOL}; requests ${model.seen.requests.join(', ')}`);
  });

  await check('the stay_awake call reaches the tray app', async () => {
    expect(model.seen.outputs.length === 1, `outputs ${JSON.stringify(model.seen.outputs)}`);
    const reply = holdReply(model.seen.outputs[0]);
    expect(reply !== null, `the call's output is not the tray app's reply: ${JSON.stringify(model.seen.outputs[0])}`);
    const [holds] = holdsWhenAnswered;
    expect(holds && holds.length === 1 && holds[0].id === reply.hold.id,
      `holds while Codex ran: ${JSON.stringify(holds)}`);
    expect(holds[0].reason === 'Running the tests', `reason ${holds[0].reason}`);
  });

  await check('the hold ends with the Codex session', async () => {
    const holds = tray.status().holds;
    expect(holds.length === 0, `holds left: ${JSON.stringify(holds)}`);
  });
} catch (e) {
  checks.fail(e && e.stack ? e.stack : e);
} finally {
  model.server.close();
  tray.stop();
}
checks.finish();
