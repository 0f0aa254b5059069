// Drives `vesk mcp` with the official MCP TypeScript client 2.x in one of its
// version negotiation modes, against the stand-in tray app in a temporary
// app folder:
//   pinned  the stateless revision only (2026-07-28, no fallback)
//   auto    probes with server/discover and must settle on 2026-07-28
//   legacy  the initialize handshake
//
//   node client_v2_test.mjs <mode> <vesk> <vesk-standin> <folder holding node_modules>
//
// Prints one line per check and a closing "N passed, N failed"; exits 1 when
// a check failed, 77 (skipped) when the client package is not installed.
import { createRequire } from 'node:module';
import path from 'node:path';

import {
  Checks, expect, PROMPT_END, PROMPT_START, READ_ONLY_TOOLS, REQUEST_LIMIT, sleep, startTray,
  TOOL_NAMES,
} from './harness.mjs';

const [mode, vesk, standin, clientFolder] = process.argv.slice(2);
const MODES = {
  pinned: { negotiation: { mode: { pin: '2026-07-28' } }, era: 'modern', version: '2026-07-28' },
  auto: { negotiation: { mode: 'auto' }, era: 'modern', version: '2026-07-28' },
  legacy: { negotiation: { mode: 'legacy' }, era: 'legacy', version: '2025-11-25' },
};
if (!MODES[mode] || !vesk || !standin || !clientFolder) {
  console.error('usage: node client_v2_test.mjs pinned|auto|legacy <vesk> <vesk-standin> <folder>');
  process.exit(2);
}
const expected = MODES[mode];

let api;
try {
  const require = createRequire(path.join(path.resolve(clientFolder), 'package.json'));
  api = {
    ...require('@modelcontextprotocol/client'),
    ...require('@modelcontextprotocol/client/stdio'),
  };
} catch (e) {
  console.log(`skipped: the MCP client 2.x is not installed under ${clientFolder} (scripts/setup.sh installs it)`);
  process.exit(77);
}
const { Client, StdioClientTransport, getDefaultEnvironment } = api;

const checks = new Checks(`${mode}: `);
const check = checks.check.bind(checks);
const tray = await startTray(vesk, standin, getDefaultEnvironment());
const { env } = tray;
const trayStatus = () => tray.status();

try {
  const transport = new StdioClientTransport({ command: vesk, args: ['mcp'], env, stderr: 'pipe' });
  let stderr = '';
  transport.stderr.on('data', (chunk) => { stderr += chunk; });
  let exit = null;
  const client = new Client({ name: 'vesk-client-v2-test', version: '1.0.0' },
    { versionNegotiation: expected.negotiation });

  await check('connect', async () => {
    await client.connect(transport, REQUEST_LIMIT);
    transport._process.once('exit', (code, signal) => { exit = { code, signal }; });
    expect(client.getProtocolEra() === expected.era, `era ${client.getProtocolEra()}`);
    expect(client.getNegotiatedProtocolVersion() === expected.version,
      `version ${client.getNegotiatedProtocolVersion()}`);
    const info = client.getServerVersion();
    expect(info && info.name === 'vesk' && /^\d+\.\d+\.\d+$/.test(info.version),
      `serverInfo ${JSON.stringify(info)}`);
    expect((client.getInstructions() || '').startsWith('Vesk keeps this laptop awake'),
      `instructions ${client.getInstructions()}`);
    expect(client.getServerCapabilities()?.tools !== undefined, 'no tools capability');
    expect(client.getServerCapabilities()?.prompts !== undefined, 'no prompts capability');
    if (expected.era === 'modern') {
      const discovered = client.getDiscoverResult();
      expect(discovered && discovered.supportedVersions[0] === '2026-07-28',
        `discover ${JSON.stringify(discovered)}`);
    }
  });

  await check('listTools', async () => {
    const { tools } = await client.listTools(undefined, REQUEST_LIMIT);
    expect(tools.length === 12, `${tools.length} tools`);
    expect(JSON.stringify(tools.map((t) => t.name)) === JSON.stringify(TOOL_NAMES),
      `names ${tools.map((t) => t.name).join(',')}`);
    const readOnly = tools.filter((t) => t.annotations?.readOnlyHint === true).map((t) => t.name);
    expect(JSON.stringify(readOnly) === JSON.stringify(READ_ONLY_TOOLS), `read-only ${readOnly}`);
    expect(tools.every((t) => t.title && t.annotations?.destructiveHint === false &&
      t.annotations?.openWorldHint === false), 'titles and hints');
  });

  await check('the setup prompt', async () => {
    const { prompts } = await client.listPrompts(undefined, REQUEST_LIMIT);
    expect(prompts.length === 1 && prompts[0].name === 'setup', JSON.stringify(prompts));
    const prompt = await client.getPrompt({ name: 'setup' }, REQUEST_LIMIT);
    const text = prompt.messages[0]?.content?.text || '';
    expect(prompt.messages.length === 1 && text.startsWith(PROMPT_START) && text.endsWith(PROMPT_END),
      JSON.stringify(prompt));
  });

  await check('callTool setup_prompt', async () => {
    const result = await client.callTool({ name: 'setup_prompt', arguments: {} }, REQUEST_LIMIT);
    expect(result.isError === false, `isError ${result.isError}`);
    expect(result.content.length === 1 && result.content[0].type === 'text', JSON.stringify(result.content));
    const text = result.content[0].text;
    expect(text.startsWith(PROMPT_START) && text.endsWith(PROMPT_END), text);
  });

  await check('callTool status', async () => {
    const result = await client.callTool({ name: 'status', arguments: {} }, REQUEST_LIMIT);
    expect(result.isError === false, `isError ${result.isError}`);
    const reply = JSON.parse(result.content[0].text);
    expect(reply.ok === true && typeof reply.status === 'string', result.content[0].text);
    expect(JSON.stringify(result.structuredContent) === JSON.stringify(reply),
      `structuredContent ${JSON.stringify(result.structuredContent)}`);
  });

  await check('a refused call has no structuredContent', async () => {
    const result = await client.callTool({ name: 'release', arguments: { id: 2.5 } }, REQUEST_LIMIT);
    expect(result.isError === true && result.content[0].text.startsWith('id must be a hold id'),
      JSON.stringify(result));
    expect(!('structuredContent' in result), `structuredContent ${JSON.stringify(result.structuredContent)}`);
  });

  await check('close releases the session\'s holds', async () => {
    const hold = await client.callTool({ name: 'stay_awake', arguments: { reason: `client ${mode}` } },
      REQUEST_LIMIT);
    expect(hold.isError === false, hold.content[0].text);
    expect(trayStatus().holds.length === 1, 'the hold is not there');
    await client.close();
    for (let i = 0; i < 250 && exit === null; i++) await sleep(20);
    expect(exit && exit.code === 0, `exit ${JSON.stringify(exit)}`);
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
