// Drives `vesk mcp` with the official MCP TypeScript SDK client, against the
// stand-in tray app in a temporary app folder.
//
//   node client_test.mjs <vesk> <vesk-standin> <folder holding node_modules with the SDK>
//
// Prints one line per check and a closing "N passed, N failed"; exits 1 when
// a check failed, 77 (skipped) when the SDK is not installed.
import { createRequire } from 'node:module';
import path from 'node:path';

import {
  Checks, expect, PROMPT_END, PROMPT_START, READ_ONLY_TOOLS, REQUEST_LIMIT, sleep, startTray,
  TOOL_NAMES,
} from './harness.mjs';

const [vesk, standin, sdkFolder] = process.argv.slice(2);
if (!vesk || !standin || !sdkFolder) {
  console.error('usage: node client_test.mjs <vesk> <vesk-standin> <sdk folder>');
  process.exit(2);
}

let sdk;
try {
  const require = createRequire(path.join(path.resolve(sdkFolder), 'package.json'));
  sdk = {
    ...require('@modelcontextprotocol/sdk/client/index.js'),
    ...require('@modelcontextprotocol/sdk/client/stdio.js'),
    ...require('@modelcontextprotocol/sdk/types.js'),
  };
} catch (e) {
  console.log(`skipped: the MCP SDK is not installed under ${sdkFolder} (scripts/setup.sh installs it)`);
  process.exit(77);
}
const { Client, StdioClientTransport, getDefaultEnvironment, EmptyResultSchema } = sdk;

const checks = new Checks();
const check = checks.check.bind(checks);
const tray = await startTray(vesk, standin, getDefaultEnvironment());
const { env } = tray;
const trayStatus = () => tray.status();

try {
  const transport = new StdioClientTransport({ command: vesk, args: ['mcp'], env, stderr: 'pipe' });
  let stderr = '';
  transport.stderr.on('data', (chunk) => { stderr += chunk; });
  let exitCode = null;
  const client = new Client({ name: 'vesk-client-test', version: '1.0.0' });

  await check('initialize', async () => {
    await client.connect(transport);
    const info = client.getServerVersion();
    expect(info && info.name === 'vesk' && info.version === '1.0.0', `serverInfo ${JSON.stringify(info)}`);
    expect((client.getInstructions() || '').startsWith('Vesk keeps this laptop awake'),
      `instructions ${client.getInstructions()}`);
    expect(client.getServerCapabilities()?.tools !== undefined, 'no tools capability');
    expect(client.getServerCapabilities()?.prompts !== undefined, 'no prompts capability');
    transport._process.once('exit', (code) => { exitCode = code; });
  });

  await check('unknown methods are refused at once', async () => {
    let error;
    try {
      await client.request({ method: 'resources/list', params: {} }, EmptyResultSchema, REQUEST_LIMIT);
    } catch (e) {
      error = e;
    }
    expect(error && error.code === -32601, `got ${error ? `${error.code} ${error.message}` : 'a result'}`);
    await client.ping(REQUEST_LIMIT);
  });

  await check('listTools', async () => {
    const { tools } = await client.listTools(undefined, REQUEST_LIMIT);
    expect(tools.length === 12, `${tools.length} tools`);
    expect(JSON.stringify(tools.map((t) => t.name)) === JSON.stringify(TOOL_NAMES),
      `names ${tools.map((t) => t.name).join(',')}`);
    const setSetting = tools.find((t) => t.name === 'set_setting');
    expect(setSetting.inputSchema.properties.key.enum.length === 12, 'set_setting key enum');
    for (const tool of tools) {
      const hints = tool.annotations || {};
      expect(typeof tool.title === 'string' && hints.title === tool.title, `${tool.name} title`);
      expect(hints.readOnlyHint === READ_ONLY_TOOLS.includes(tool.name) &&
        hints.destructiveHint === false && hints.openWorldHint === false &&
        hints.idempotentHint === (tool.name !== 'stay_awake'),
      `${tool.name} annotations ${JSON.stringify(hints)}`);
    }
  });

  await check('callTool status', async () => {
    const result = await client.callTool({ name: 'status', arguments: {} }, undefined, REQUEST_LIMIT);
    expect(result.isError === false, `isError ${result.isError}`);
    expect(result.content.length === 1 && result.content[0].type === 'text', JSON.stringify(result.content));
    const reply = JSON.parse(result.content[0].text);
    expect(reply.ok === true && typeof reply.status === 'string', result.content[0].text);
    expect(JSON.stringify(result.structuredContent) === JSON.stringify(reply),
      `structuredContent ${JSON.stringify(result.structuredContent)}`);
  });

  await check('a refused call has no structuredContent', async () => {
    const result = await client.callTool(
      { name: 'set_setting', arguments: { key: 'heat_guard', value: 'off' } }, undefined, REQUEST_LIMIT);
    expect(result.isError === true, `isError ${result.isError}`);
    expect(JSON.parse(result.content[0].text).ok === false, result.content[0].text);
    expect(!('structuredContent' in result), `structuredContent ${JSON.stringify(result.structuredContent)}`);
  });

  await check('the setup prompt', async () => {
    const { prompts } = await client.listPrompts(undefined, REQUEST_LIMIT);
    expect(prompts.length === 1 && prompts[0].name === 'setup' && prompts[0].title &&
      prompts[0].description, JSON.stringify(prompts));
    const prompt = await client.getPrompt({ name: 'setup' }, REQUEST_LIMIT);
    expect(prompt.messages.length === 1 && prompt.messages[0].role === 'user', JSON.stringify(prompt));
    const text = prompt.messages[0].content.text;
    expect(text.startsWith(PROMPT_START) && text.endsWith(PROMPT_END), text);
  });

  await check('callTool setup_prompt', async () => {
    const result = await client.callTool({ name: 'setup_prompt' }, undefined, REQUEST_LIMIT);
    expect(result.isError === false, `isError ${result.isError}`);
    const text = result.content[0].text;
    expect(result.content.length === 1 && result.content[0].type === 'text', JSON.stringify(result.content));
    expect(text.startsWith(PROMPT_START) && text.endsWith(PROMPT_END), text);
    expect(text.split('\n').length === 8, `${text.split('\n').length} lines`);
  });

  await check('close releases the session\'s holds', async () => {
    const hold = await client.callTool({ name: 'stay_awake', arguments: { reason: 'client test' } },
      undefined, REQUEST_LIMIT);
    expect(hold.isError === false, hold.content[0].text);
    expect(trayStatus().holds.length === 1, 'the hold is not there');
    await client.close();
    for (let i = 0; i < 250 && exitCode === null; i++) await sleep(20);
    expect(exitCode === 0, `exit status ${exitCode}`);
    expect(stderr === '', `standard error: ${stderr}`);
    const holds = trayStatus().holds;
    expect(holds.length === 0, `holds left: ${JSON.stringify(holds)}`);
  });
} catch (e) {
  checks.fail(e && e.stack ? e.stack : e);
} finally {
  tray.stop();
}
checks.finish();
