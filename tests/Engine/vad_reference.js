// Per-window speech probabilities of the Silero VAD ONNX model under the ONNX
// reference runtime, one per line: 512-sample windows of a 16 kHz mono 16-bit
// WAV, state carried along, each led by 64 samples:
//   context  the end of the previous window (how Silero's own wrapper feeds it)
//   mirror   the window's own start, mirrored (what whisper.cpp's graph computes)
//   node vad_reference.js <onnxruntime-node dir> <model.onnx> <file.wav> [context|mirror]
'use strict';
const fs = require('fs');
const [ortDir, modelPath, wavPath, lead = 'context'] = process.argv.slice(2);
const ort = require(ortDir);

function samplesOf(path) {
  const bytes = fs.readFileSync(path);
  let offset = 12;
  let format = null;
  while (offset + 8 <= bytes.length) {
    const id = bytes.toString('ascii', offset, offset + 4);
    const size = bytes.readUInt32LE(offset + 4);
    const body = offset + 8;
    if (id === 'fmt ') {
      format = { channels: bytes.readUInt16LE(body + 2), rate: bytes.readUInt32LE(body + 4), bits: bytes.readUInt16LE(body + 14) };
    } else if (id === 'data') {
      if (!format || format.channels !== 1 || format.rate !== 16000 || format.bits !== 16)
        throw new Error('want 16 kHz mono 16-bit PCM');
      const count = Math.floor(Math.min(size, bytes.length - body) / 2);
      const samples = new Float32Array(count);
      for (let i = 0; i < count; ++i) samples[i] = bytes.readInt16LE(body + 2 * i) / 32768;
      return samples;
    }
    offset = body + size + (size & 1);
  }
  throw new Error('no data chunk');
}

(async () => {
  const session = await ort.InferenceSession.create(modelPath);
  const samples = samplesOf(wavPath);
  const window = 512, context = 64;
  let state = new ort.Tensor('float32', new Float32Array(2 * 128), [2, 1, 128]);
  const sr = new ort.Tensor('int64', BigInt64Array.from([16000n]), []);
  let before = new Float32Array(context);
  const lines = [];
  for (let start = 0; start < samples.length; start += window) {
    const input = new Float32Array(context + window);
    input.set(samples.subarray(start, Math.min(start + window, samples.length)), context);
    if (lead === 'mirror') {
      for (let i = 0; i < context; ++i) input[i] = input[2 * context - i];
    } else {
      input.set(before, 0);
    }
    const out = await session.run({ input: new ort.Tensor('float32', input, [1, context + window]), state, sr });
    lines.push(out.output.data[0].toFixed(6));
    state = out.stateN;
    before = input.slice(window);
  }
  process.stdout.write(lines.join('\n') + '\n');
})().catch((error) => { console.error(error.message); process.exit(1); });
