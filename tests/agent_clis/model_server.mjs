// A scripted model on 127.0.0.1 for the agents' own API clients, no
// dependencies: the Anthropic Messages API (streamed or not), the OpenAI
// Responses API (streamed) and Gemini's generateContent and
// streamGenerateContent (`alt=sse`). A turn's first request, the one that
// offers the agent's shell tool, is answered with ONE call of it running
// `echo hi-from-tool`; the request that brings the tool's result back is
// answered with the text `done`, after `onHold` has finished (the agent
// waits for the model meanwhile, with its turn in flight). Side requests
// (titles, token counts, checks with no tools) get a short plain answer.
//
//   const model = await startModelServer({ onHold: async (api) => {...}, log });
//   model.port; model.seen (every request, as "<api> <what>"); model.close();
import http from 'node:http';

export const TOOL_COMMAND = 'echo hi-from-tool';
export const FINAL_TEXT = 'done';
const SIDE_TEXT = 'ok';

// Server-sent events: `event:` lines only where the API names its events.
function sseNamed(events) {
  return events.map((e) => `event: ${e.type}\ndata: ${JSON.stringify(e)}\n\n`).join('');
}
function sseData(chunks) {
  return chunks.map((c) => `data: ${JSON.stringify(c)}\n\n`).join('');
}

// ---- Anthropic Messages ----

function anthropicHasToolResult(request) {
  return (request.messages || []).some((m) => Array.isArray(m.content) &&
    m.content.some((c) => c && c.type === 'tool_result'));
}

function anthropicShellTool(request) {
  return (request.tools || []).find((t) => t && t.name === 'Bash') ? 'Bash' : null;
}

const ANTHROPIC_USAGE = { input_tokens: 10, output_tokens: 5, cache_creation_input_tokens: 0,
  cache_read_input_tokens: 0 };

// One message, as the JSON body or as the stream of its events.
function anthropicMessage(request, content) {
  const message = {
    id: `msg_${Date.now()}`, type: 'message', role: 'assistant', model: request.model || 'test',
    content, stop_reason: content.some((c) => c.type === 'tool_use') ? 'tool_use' : 'end_turn',
    stop_sequence: null, usage: ANTHROPIC_USAGE,
  };
  if (!request.stream) return { type: 'application/json', body: JSON.stringify(message) };
  const events = [{ type: 'message_start',
    message: { ...message, content: [], stop_reason: null, usage: { ...ANTHROPIC_USAGE, output_tokens: 1 } } }];
  content.forEach((block, index) => {
    if (block.type === 'text') {
      events.push({ type: 'content_block_start', index, content_block: { type: 'text', text: '' } });
      events.push({ type: 'content_block_delta', index, delta: { type: 'text_delta', text: block.text } });
    } else {
      events.push({ type: 'content_block_start', index,
        content_block: { type: 'tool_use', id: block.id, name: block.name, input: {} } });
      events.push({ type: 'content_block_delta', index,
        delta: { type: 'input_json_delta', partial_json: JSON.stringify(block.input) } });
    }
    events.push({ type: 'content_block_stop', index });
  });
  events.push({ type: 'message_delta', delta: { stop_reason: message.stop_reason, stop_sequence: null },
    usage: { output_tokens: 5 } });
  events.push({ type: 'message_stop' });
  return { type: 'text/event-stream', body: sseNamed(events) };
}

async function anthropic(url, request, model) {
  if (url.includes('count_tokens')) {
    model.seen.push('anthropic count_tokens');
    return { type: 'application/json', body: JSON.stringify({ input_tokens: 10 }) };
  }
  const tool = anthropicShellTool(request);
  if (tool && anthropicHasToolResult(request)) {
    model.seen.push('anthropic result');
    await model.hold('anthropic');
    return anthropicMessage(request, [{ type: 'text', text: FINAL_TEXT }]);
  }
  if (tool) {
    model.seen.push('anthropic call');
    return anthropicMessage(request, [{ type: 'tool_use', id: 'toolu_test_1', name: tool,
      input: { command: TOOL_COMMAND, description: 'print a word' } }]);
  }
  model.seen.push('anthropic side');
  return anthropicMessage(request, [{ type: 'text', text: SIDE_TEXT }]);
}

// ---- OpenAI Responses ----

function responsesStream(id, items) {
  const events = [{ type: 'response.created', response: { id } }];
  items.forEach((item, i) => events.push({ type: 'response.output_item.done', output_index: i, item }));
  events.push({ type: 'response.completed', response: { id, usage: {
    input_tokens: 10, input_tokens_details: null, output_tokens: 5, output_tokens_details: null,
    total_tokens: 15 } } });
  return { type: 'text/event-stream', body: sseNamed(events) };
}

// The shell tool Codex offers, and its arguments for the command.
function responsesShellCall(request) {
  const names = new Set((request.tools || []).filter((t) => t && t.type === 'function').map((t) => t.name));
  if (names.has('exec_command')) return { name: 'exec_command', arguments: { cmd: TOOL_COMMAND } };
  if (names.has('shell_command')) return { name: 'shell_command', arguments: { command: TOOL_COMMAND } };
  if (names.has('shell')) return { name: 'shell', arguments: { command: ['bash', '-lc', TOOL_COMMAND] } };
  return null;
}

function textItem(text) {
  return { type: 'message', role: 'assistant', id: 'msg_test', content: [{ type: 'output_text', text }] };
}

async function responses(request, model) {
  const call = responsesShellCall(request);
  const returned = (request.input || []).some((i) => i && i.type === 'function_call_output');
  if (call && returned) {
    model.seen.push('responses result');
    await model.hold('responses');
    return responsesStream('resp_2', [textItem(FINAL_TEXT)]);
  }
  if (call) {
    model.seen.push('responses call');
    return responsesStream('resp_1', [{ type: 'function_call', id: 'fc_1', call_id: 'call_test_1',
      name: call.name, arguments: JSON.stringify(call.arguments) }]);
  }
  model.seen.push('responses side');
  return responsesStream('resp_side', [textItem(SIDE_TEXT)]);
}

// ---- Gemini ----

function geminiCandidate(parts) {
  return {
    candidates: [{ content: { role: 'model', parts }, finishReason: 'STOP', index: 0 }],
    usageMetadata: { promptTokenCount: 10, candidatesTokenCount: 5, totalTokenCount: 15 },
    modelVersion: 'gemini-test',
  };
}

function geminiOffersShell(request) {
  return (request.tools || []).some((t) => (t.functionDeclarations || [])
    .some((f) => f.name === 'run_shell_command'));
}

function geminiHasResult(request) {
  return (request.contents || []).some((c) => (c.parts || []).some((p) => p && p.functionResponse));
}

async function gemini(url, request, model) {
  const stream = url.includes(':streamGenerateContent');
  const answer = (parts) => (stream
    ? { type: 'text/event-stream', body: sseData([geminiCandidate(parts)]) }
    : { type: 'application/json', body: JSON.stringify(geminiCandidate(parts)) });
  if (url.includes(':countTokens')) {
    model.seen.push('gemini countTokens');
    return { type: 'application/json', body: JSON.stringify({ totalTokens: 10 }) };
  }
  if (geminiOffersShell(request) && geminiHasResult(request)) {
    model.seen.push('gemini result');
    await model.hold('gemini');
    return answer([{ text: FINAL_TEXT }]);
  }
  if (geminiOffersShell(request)) {
    model.seen.push('gemini call');
    return answer([{ functionCall: { name: 'run_shell_command',
      args: { command: TOOL_COMMAND, description: 'print a word' } } }]);
  }
  model.seen.push('gemini side');
  // A side request may ask for JSON (Gemini's next-speaker check does): an
  // empty object parses and says nothing.
  const json = request.generationConfig?.responseMimeType === 'application/json';
  return answer([{ text: json ? '{}' : SIDE_TEXT }]);
}

export function startModelServer({ onHold = async () => {}, log = () => {} } = {}) {
  const model = {
    seen: [],
    held: 0,
    // Only the first result request of the run waits: a retry goes through.
    async hold(api) {
      if (model.held++ === 0) await onHold(api);
    },
  };
  const server = http.createServer((req, res) => {
    let body = '';
    req.setEncoding('utf8');
    req.on('data', (chunk) => { body += chunk; });
    req.on('end', async () => {
      log(`model: ${req.method} ${req.url} ${body.length} bytes`);
      let request = {};
      try { request = body ? JSON.parse(body) : {}; } catch { /* answered as a side request */ }
      let reply;
      try {
        if (req.method === 'POST' && req.url.includes('/messages')) {
          reply = await anthropic(req.url, request, model);
        } else if (req.method === 'POST' && req.url.includes('/responses')) {
          reply = await responses(request, model);
        } else if (req.method === 'POST' && req.url.includes('/models/')) {
          reply = await gemini(req.url, request, model);
        }
      } catch (e) {
        log(`model: ${e && e.stack ? e.stack : e}`);
      }
      if (!reply) {
        model.seen.push(`unknown ${req.method} ${req.url}`);
        res.writeHead(404, { 'content-type': 'application/json' });
        res.end('{"error":{"type":"not_found_error","message":"not here"}}');
        return;
      }
      res.writeHead(200, { 'content-type': reply.type, 'cache-control': 'no-cache' });
      res.end(reply.body);
    });
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => {
      model.port = server.address().port;
      model.close = () => server.close();
      resolve(model);
    });
  });
}
