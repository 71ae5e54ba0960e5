#!/usr/bin/env python3
"""Writes the code page 949 tables the host stand-ins use (cp949_table.inc), as Wine has the code
page: which double-byte pairs are characters (Python's codec, and the two rows of user-defined
characters, 0xC9 and 0xFE, which Wine maps too), and what CharLowerBuffA makes of each letter
(Python's lowering, where the lower-case letter is in the code page; Wine leaves the letter-like
symbols, such as the Ohm and Angstrom signs, alone).
    cp949_table.py OUTPUT"""
import sys

valid = bytearray(126 * 32)  # a bit for each trail byte of each lead byte 0x81..0xFE
lower = []
for lead in range(0x81, 0xFF):
    for trail in range(0x100):
        pair = bytes([lead, trail])
        user_defined = lead in (0xC9, 0xFE) and 0xA1 <= trail <= 0xFE
        try:
            char = pair.decode('cp949')
        except UnicodeDecodeError:
            char = None
        if not user_defined and (char is None or len(char) != 1):
            continue
        index = (lead - 0x81) * 32 + trail // 8
        valid[index] |= 1 << (trail % 8)
        if char is None or 0x2100 <= ord(char) < 0x2150:
            continue
        low = char.lower()
        if low == char or len(low) != 1:
            continue
        try:
            encoded = low.encode('cp949')
        except UnicodeEncodeError:
            continue
        if len(encoded) == 2:
            lower.append((lead, trail, encoded[0], encoded[1]))

with open(sys.argv[1], 'w') as out:
    out.write('// Made by cp949_table.py: code page 949 as Wine has it.\n')
    out.write('static const unsigned char kValidPairs[126 * 32] = {\n')
    for i in range(0, len(valid), 16):
        out.write('  ' + ', '.join('0x%02x' % b for b in valid[i:i + 16]) + ',\n')
    out.write('};\n')
    out.write('static const unsigned char kLowerPairs[][4] = {\n')
    for entry in lower:
        out.write('  {0x%02x, 0x%02x, 0x%02x, 0x%02x},\n' % entry)
    out.write('};\n')
