#!/usr/bin/env python3
"""Writes the placeholder firmware images fpga.bin and mcu.bin.

They stand in for the real images until the maker's own are built in. Their
bytes come from a fixed xorshift sequence, so running this again gives the
same files, and no byte value fills them (a transfer that shifts, drops or
repeats data shows up as a mismatch).
"""
import os
import sys

FPGA_SIZE = 515_884
MCU_SIZE = 10_240


def xorshift_bytes(state, count):
    out = bytearray(count)
    for i in range(count):
        state ^= (state << 13) & 0xFFFFFFFF
        state ^= state >> 17
        state ^= (state << 5) & 0xFFFFFFFF
        out[i] = state & 0xFF
    return bytes(out)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    images = {"fpga.bin": xorshift_bytes(0x46504741, FPGA_SIZE),  # "FPGA"
              "mcu.bin": xorshift_bytes(0x4D435531, MCU_SIZE)}    # "MCU1"
    for name, data in images.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
