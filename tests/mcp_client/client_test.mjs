// Drives `vesk mcp` with the official MCP TypeScript SDK client, against the
// stand-in tray app in a temporary app folder.
//
//   node client_test.mjs <vesk> <vesk-standin> <folder holding node_modules with the SDK>
//
// Prints one line per check and a closing "N passed, N failed"; exits 1 when
// a check failed, 77 (skipped) when the SDK is not installed.
import { createRequire } from 'node:module';
import path from 'node:path';

import { Checks, expect, PROMPT_END, PROMPT_START, REQUEST_LIMIT, sleep, startTray, TOOL_NAMES }
  from './harness.mjs';

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
  });

  await check('callTool status', async () => {
    const result = await client.callTool({ name: 'status', arguments: {} }, undefined, REQUEST_LIMIT);
    expect(result.isError === false, `isError ${result.isError}`);
    expect(result.content.length === 1 && result.content[0].type === 'text', JSON.stringify(result.content));
    const reply = JSON.parse(result.content[0].text);
    expect(reply.ok === true && typeof reply.status === 'string', result.content[0].text);
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
