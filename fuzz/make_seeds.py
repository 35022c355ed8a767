#!/usr/bin/env python3
"""Writes the seed corpus under fuzz/corpus/<target>/ (kept in the repository).

Each seed is a short input in the byte layout its driver reads, chosen to reach
one kind of call quickly: every opcode once, parameter extremes with blocks,
each value text at its edges, and small audio files of several shapes.
Run it again after changing a driver's layout.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Opcodes whose ptr use consumes extra bytes (mirrors dispatcher_buffers.h).
TEXT_IN = {4, 27, 51}
RECORDS_COUNTED = {38, 39, 40}
CHUNK_IN = {24}
ARRANGEMENT_PAIR = {42}
CONSUMES_NOTHING = {5, 29, 6, 7, 8, 45, 47, 48, 70, 13, 23, 69,
                    14, 25, 33, 34, 41, 50, 56, 62, 63, 64, 65, 66, 75, 76}


def dispatcher_call(opcode, index=0, value=0, opt=0.0, text=b""):
    out = bytes([0, (opcode + 2) % 93]) + struct.pack("<iqf", index, value, opt)
    if opcode in TEXT_IN:
        out += bytes([len(text)]) + text
    elif opcode in RECORDS_COUNTED:
        out += bytes([1])
    elif opcode in CHUNK_IN:
        out += bytes([1]) + bytes(range(16))
    elif opcode in ARRANGEMENT_PAIR:
        out += bytes([3, 2, 3, 2])
    elif opcode not in CONSUMES_NOTHING:
        out += bytes([0])
    return out


def set_parameter(index, value):
    return bytes([6]) + struct.pack("<if", index, value)


def block(frames_third, precision="double", in_place=0):
    samples = b"".join(struct.pack("<h", int(12000 * math.sin(0.3 * i)))
                       for i in range(2 * 3 * max(frames_third, 0)))
    head = bytes([8]) if precision == "double" else bytes([9, 1])
    return head + struct.pack("<b", frames_third) + bytes([in_place]) + samples


def value_text(op, value=0.0, integer=0, bound=8):
    return bytes([op]) + struct.pack("<fi", value, integer) + bytes([bound, 0x41])


def wav(channels, rate, frames, fmt="pcm16", declared=None, samples=None):
    if fmt == "pcm16":
        tag, width = 1, 2
        data = b"".join(struct.pack("<h", int(8000 * math.sin(0.2 * i + c)))
                        for i in range(frames) for c in range(channels))
    else:
        tag, width = 3, 4
        values = samples or [math.sin(0.2 * i) for i in range(frames * channels)]
        data = b"".join(struct.pack("<f", v) for v in values)
    size = len(data) if declared is None else declared
    fmt_chunk = struct.pack("<HHIIHH", tag, channels, rate, rate * channels * width,
                            channels * width, 8 * width)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt_chunk + b"data" + struct.pack("<I", size) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    every = b"".join(dispatcher_call(op, index=op % 3, value=op, opt=0.5, text=b"receiveVstMidiEvent")
                     for op in range(-2, 91) if op != 1)
    write("dispatcher", "every_opcode", every)
    write("dispatcher", "parameters_and_blocks", b"".join([
        set_parameter(0, 0.5), set_parameter(1, 0.0), block(20), block(20, "single"),
        set_parameter(0, float("nan")), block(5), set_parameter(0, -0.5), block(30),
        set_parameter(0, 2.0), block(0), block(-3), set_parameter(0, 1e30), block(4),
        set_parameter(1, float("inf")), block(4, "single", 1)]))
    write("dispatcher", "texts_and_close", b"".join([
        dispatcher_call(4, text=b"A program name longer than twenty-four"),
        dispatcher_call(5), dispatcher_call(7, index=0), dispatcher_call(7, index=1),
        dispatcher_call(8, index=2), dispatcher_call(45), dispatcher_call(47),
        bytes([0, 3]) + struct.pack("<iqf", 0, 0, 0.0),  # close, then a fresh instance
        dispatcher_call(7, index=1), dispatcher_call(12, value=0), block(8)]))

    write("value_text", "float_edges", b"".join(value_text(3, v) for v in
          [1.0, 0.125, -3.5, 12345.678, -0.0, 0.7, 1234567.0, -999999.0, 1e9, 99999999.0,
           -10000000.0, float("nan"), float("inf")]) + value_text(3, 12345.678, bound=3))
    write("value_text", "int_edges", b"".join(value_text(4, 0.0, i) for i in
          [0, 4608, -7, 99999999, 100000000, -100000000, -2147483648, 2147483647]) +
          value_text(4, 0.0, -100000000, bound=10) + value_text(4, 0.0, 4608, bound=0))
    write("value_text", "db_hz_ms", b"".join([
        value_text(0, 1.0), value_text(0, 0.5), value_text(0, 0.0), value_text(0, 1e-30),
        value_text(1, 100.0), value_text(1, 0.0), value_text(1, -2.0), value_text(2, 512.0),
        value_text(5, 0.0), value_text(2, 1.0), value_text(1, 3.0), value_text(2, 0.0, bound=64)]))

    write("render_input", "stereo_pcm16.wav", wav(2, 44100, 64))
    write("render_input", "mono_float.wav", wav(1, 48000, 48, fmt="float"))
    write("render_input", "eight_channels.wav", wav(8, 44100, 8))
    write("render_input", "rate_384k.wav", wav(2, 384000, 16, fmt="float"))
    write("render_input", "nan_samples.wav", wav(1, 44100, 4, fmt="float",
                                                 samples=[0.0, float("nan"), float("inf"), 0.5]))
    write("render_input", "declares_more.wav", wav(2, 44100, 16, declared=1 << 20))
    write("render_input", "truncated_header.wav", wav(2, 44100, 16)[:30])


if __name__ == "__main__":
    main()
