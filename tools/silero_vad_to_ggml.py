#!/usr/bin/python3
"""Writes the ggml voice-activity model that whisper.cpp's VAD loader reads, from
the 16 kHz Silero VAD ONNX export.

    silero_vad_to_ggml.py model.onnx out.bin

Layout (whisper_vad_init_with_params): magic, model type, version, window and
context sizes, the encoder, LSTM and decoder dimensions, then each tensor as
n_dims, name length, type (0 f32, 1 f16), dims (fastest first), name, data.
"""
import struct
import sys

import numpy as np
import onnx
from onnx import numpy_helper

GGML_MAGIC = 0x67676D6C
F32, F16 = 0, 1
HIDDEN = 128
# The package names no Silero release; whisper.cpp only logs this.
VERSION = (0, 0, 0)


def constants(graph, found):
    """Every Constant node's value, through the If branches too, by output name."""
    for node in graph.node:
        if node.op_type == "Constant":
            for attribute in node.attribute:
                if attribute.name == "value":
                    found[node.output[0]] = numpy_helper.to_array(attribute.t)
        for attribute in node.attribute:
            if attribute.type == onnx.AttributeProto.GRAPH:
                constants(attribute.g, found)
    return found


def slices_of(graph, tensor, values, found):
    """(start, end) of each Slice taken from `tensor`, in graph order."""
    for node in graph.node:
        if node.op_type == "Slice" and node.input[0] == tensor:
            found.append((int(values[node.input[1]][0]), int(values[node.input[2]][0])))
        for attribute in node.attribute:
            if attribute.type == onnx.AttributeProto.GRAPH:
                slices_of(attribute.g, tensor, values, found)
    return found


def lstm_in_torch_gate_order(model, weights, name):
    """whisper.cpp computes the gates in PyTorch order: input, forget, cell, output.
    ONNX's LSTM wants input, output, forget, cell. An export that keeps PyTorch's
    parameters reorders them in the graph with three slices per LSTM; an export
    that hands the LSTM its own weights stores them in ONNX order."""
    h = HIDDEN
    cuts = slices_of(model.graph, name, constants(model.graph, {}), [])
    torch_to_onnx = [(0, h), (3 * h, 4 * h), (h, 3 * h)]
    tensor = weights[name]
    if cuts:
        if any(cuts[i:i + 3] != torch_to_onnx for i in range(0, len(cuts), 3)):
            sys.exit(f"unexpected slicing of {name}: {cuts}")
        return tensor
    i, o, f, c = (tensor[k * h:(k + 1) * h] for k in range(4))
    return np.concatenate([i, f, c, o])


def write_tensor(out, name, data, ftype, keep_dims=None):
    array = data if keep_dims else np.squeeze(data)
    array = np.ascontiguousarray(array.astype(np.float16 if ftype == F16 else np.float32))
    dims = list(reversed(array.shape))
    out.write(struct.pack("iii", len(dims), len(name.encode()), ftype))
    out.write(struct.pack(f"{len(dims)}i", *dims))
    out.write(name.encode())
    out.write(array.tobytes())


def main(source, target):
    model = onnx.load(source)
    weights = {t.name: numpy_helper.to_array(t) for t in model.graph.initializer}
    encoders = [weights[f"model.encoder.{i}.reparam_conv.weight"] for i in range(4)]
    ih, hh = weights["model.decoder.rnn.weight_ih"], weights["model.decoder.rnn.weight_hh"]
    if ih.shape != (4 * HIDDEN, HIDDEN) or hh.shape != (4 * HIDDEN, HIDDEN):
        sys.exit(f"unexpected LSTM shapes {ih.shape} {hh.shape}")
    basis = weights["model.stft.forward_basis_buffer"]
    if basis.shape != (258, 1, 256):
        sys.exit(f"unexpected STFT basis {basis.shape}")

    with open(target + ".tmp", "wb") as out:
        out.write(struct.pack("i", GGML_MAGIC))
        kind = b"silero-16k"
        out.write(struct.pack("i", len(kind)) + kind)
        out.write(struct.pack("iii", *VERSION))
        out.write(struct.pack("ii", 512, 64))  # window, context (samples)
        out.write(struct.pack("i", len(encoders)))
        for weight in encoders:
            out_channels, in_channels, kernel = weight.shape
            out.write(struct.pack("iii", in_channels, out_channels, kernel))
        out.write(struct.pack("ii", HIDDEN, HIDDEN))  # LSTM input, hidden
        out.write(struct.pack("ii", HIDDEN, 1))  # final convolution in, out

        for i in range(4):
            write_tensor(out, f"_model.encoder.{i}.reparam_conv.weight", encoders[i], F16)
            write_tensor(out, f"_model.encoder.{i}.reparam_conv.bias", weights[f"model.encoder.{i}.reparam_conv.bias"], F32)
        for part in ("weight_ih", "weight_hh", "bias_ih", "bias_hh"):
            name = f"model.decoder.rnn.{part}"
            write_tensor(out, "_" + name, lstm_in_torch_gate_order(model, weights, name), F32)
        write_tensor(out, "_model.decoder.decoder.2.weight", weights["model.decoder.decoder.2.weight"], F16)
        write_tensor(out, "_model.decoder.decoder.2.bias", weights["model.decoder.decoder.2.bias"], F32)
        write_tensor(out, "_model.stft.forward_basis_buffer", basis, F16, keep_dims=True)

    import os
    os.replace(target + ".tmp", target)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
