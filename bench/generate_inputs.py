#!/usr/bin/env python3
"""Writes synthetic ldweave inputs of a chosen size into a folder.

  generate_inputs.py sections N OUT [--segments M] [--seed S]
      N program sections spread over M memory segments (default: one segment per 1000
      sections, at least 4, always an even number). Half the segments are read-only "FLASH"
      segments, half writable "RAM" segments. About one section in ten is loaded in flash and
      runs in RAM ("runin" to a run section of a RAM segment); sections have a mix of alignments,
      minimum sizes, fills, keep, input-section lists and symbols; the last section of every
      segment is placed from the segment end, one of them with a size taken from -symbols.
      The script written from them links with GNU ld.

  generate_inputs.py preprocessor N OUT [--seed S]
      A section placement file that yields about N program sections only after pre-processing:
      "for" loops nested two deep, a chain of nested "include"s (each with its own "macros"),
      "define", "if"/"ifdef"/"switch" and many "$(name)" / "$(name:default)" references.

Both write OUT/memory_map.xml, OUT/placement.xml (plus the included files) and OUT/args, the
ldweave command line without the output path, one argument per line, with file names relative
to OUT. OUT/inputs lists every input file, one per line, for tools that parse them all.
The output is a pure function of the arguments.
"""
import argparse
import os
import random

ALIGNMENTS = ['1', '2', '4', '4', '4', '8', '8', '16', '0x10', '0x100', '010', '0b100']
FILLS = ['0xFF', '0x00', '0xDEADBEEF', '0xFFFFFFFF']
USER_SYMBOLS = [('STACK_SIZE', '0x800'), ('HEAP_SIZE', '0x2000'), ('BOOT_MAGIC', '0x5A5AA5A5'),
                ('__ram_vectors_size__', '0x400'), ('FLASH_PAGE', '2048')]


def write(folder, name, text):
    with open(os.path.join(folder, name), 'w', encoding='utf-8') as f:
        f.write(text)


def write_args(folder, args, inputs):
    write(folder, 'args', ''.join(a + '\n' for a in args))
    write(folder, 'inputs', ''.join(i + '\n' for i in inputs))


def segment_layout(count):
    """Names, kinds and address ranges of count segments (count is even)."""
    segments = []
    for k in range(count // 2):
        segments.append((f'FLASH{k}', 'ReadOnly', 0x08000000 + k * 0x01000000, '0x00800000'))
    # RAM starts at 0x20000000, or after the last flash segment when there are so many that they
    # would reach it: overlapping segments would place sections on top of each other.
    ram_base = max(0x20000000, 0x08000000 + (count // 2) * 0x01000000)
    for k in range(count // 2):
        segments.append((f'RAM{k}', 'ReadWrite', ram_base + k * 0x01000000, '4 * 1024 * 1024'))
    return segments


def memory_map_text(segments):
    lines = ['<!DOCTYPE Board_Memory_Definition_File>',
             '<!-- synthetic board for benchmarks -->',
             '<Root name="SyntheticBoard">']
    for name, access, start, size in segments:
        lines.append(f'  <MemorySegment name="{name}" start="0x{start:08X}" size="{size}"'
                     f' access="{access}" address_symbol="__{name}_base"/>')
    lines.append('</Root>')
    return '\n'.join(lines) + '\n'


def section_attributes(rng, name):
    """A realistic attribute mix for one ordinary section."""
    attributes = [('name', name)]
    roll = rng.random()
    if roll < 0.55:
        attributes.append(('load', 'Yes'))
    elif roll < 0.6:
        attributes.append(('load', 'no'))
    if rng.random() < 0.8:
        attributes.append(('alignment', rng.choice(ALIGNMENTS)))
    if rng.random() < 0.15:
        attributes.append(('size', rng.choice(['0x100', '0x400', '256', '(4 * 64)'])))
    # GNU ld takes a single input-section description inside KEEP( ), and "keep" wraps the
    # whole "inputsections" text, so a kept section keeps its default input sections.
    kept = rng.random() < 0.05
    if kept:
        attributes.append(('keep', 'Yes'))
    if rng.random() < 0.1:
        attributes.append(('fill', rng.choice(FILLS)))
    if rng.random() < 0.2 and not kept:
        attributes.append(('inputsections', f'*({name} {name}.*) *(.gnu.linkonce{name}.*)'))
    if rng.random() < 0.1:
        attributes.append(('address_symbol', f'{name[1:]}_address'))
    if rng.random() < 0.1:
        attributes.append(('end_symbol', f'{name[1:]}_end'))
    if rng.random() < 0.05:
        attributes.append(('size_symbol', f'{name[1:]}_size'))
    return attributes


def element(tag, attributes, indent='    '):
    text = ' '.join(f'{key}="{value}"' for key, value in attributes)
    return f'{indent}<{tag} {text}/>'


def generate_sections(count, out, segment_count, seed):
    rng = random.Random(seed)
    if segment_count is None:
        segment_count = max(4, count // 1000)
    segment_count += segment_count % 2
    segments = segment_layout(segment_count)
    flash = [s[0] for s in segments if s[1] == 'ReadOnly']
    ram = [s[0] for s in segments if s[1] != 'ReadOnly']
    contents = {s[0]: [] for s in segments}

    # Every tenth section is a load section in flash running in RAM; its run section is one of
    # the ordinary sections of a RAM segment, so about 10% of the sections form runin pairs.
    pairs = count // 20
    ordinary = count - 2 * pairs - segment_count
    for i in range(pairs):
        segment = flash[i % len(flash)]
        run_segment = ram[i % len(ram)]
        name = f'.init_data{i}'
        load = [('name', name), ('load', 'Yes'), ('alignment', '4'), ('runin', f'{name}_run')]
        run = [('name', f'{name}_run'), ('alignment', '4')]
        contents[segment].append(('pair', load))
        contents[run_segment].append(('pair', run))
    for i in range(ordinary):
        segment = segments[rng.randrange(segment_count)][0]
        contents[segment].append((None, section_attributes(rng, f'.sec{i}')))
    for position, (name, _, _, _) in enumerate(segments):
        # Load sections and run sections keep their pair order, or laying out a load section
        # would wait for a run section that waits for it; ordinary sections go in between.
        paired = [entry for entry in contents[name] if entry[0] == 'pair']
        rest = [entry for entry in contents[name] if entry[0] != 'pair']
        rng.shuffle(rest)
        total = len(paired) + len(rest)
        slots = set(rng.sample(range(total), len(paired)))
        paired.reverse()
        rest.reverse()
        contents[name] = [(paired if slot in slots else rest).pop() for slot in range(total)]
        size = 'STACK_SIZE' if position == segment_count - 1 else '0x400'
        contents[name].append((None, [('name', f'.{name.lower()}_tail'), ('alignment', '8'),
                                      ('size', size), ('place_from_segment_end', 'Yes')]))

    lines = ['<!DOCTYPE Linker_Placement_File>', '<Root name="Synthetic Placement">']
    for name, _, _, _ in segments:
        lines.append(f'  <MemorySegment name="{name}">')
        for _, attributes in contents[name]:
            lines.append(element('ProgramSection', attributes))
        lines.append('  </MemorySegment>')
    lines.append('</Root>')

    os.makedirs(out, exist_ok=True)
    write(out, 'memory_map.xml', memory_map_text(segments))
    write(out, 'placement.xml', '\n'.join(lines) + '\n')
    symbols = ';'.join(f'{name}={value}' for name, value in USER_SYMBOLS)
    write_args(out, ['-check-segment-overflow', '-symbols', symbols,
                     '-memory-map-file', 'memory_map.xml',
                     '-section-placement-file', 'placement.xml'],
               ['memory_map.xml', 'placement.xml'])


# A leaf file: sections written out one by one, every attribute a macro reference.
def leaf_text(group, count):
    lines = ['<envelope>']
    for i in range(count):
        lines.append(
            f'  <ProgramSection name=".$(PREFIX)_leaf{group}_{i}" alignment="$(ALIGN:4)"'
            f' load="$(LOAD:Yes)" fill="$(FILL_{group}:0xFF)" keep="$(KEEP_ALL:No)"'
            f' inputsections="*(.$(PREFIX)_leaf{group}_{i} .$(PREFIX)_leaf{group}_{i}.*)"'
            f' address_symbol="$(SYMBOL_PREFIX:__)leaf{group}_{i}_$(SUFFIX::start)"/>')
    lines.append('</envelope>')
    return '\n'.join(lines) + '\n'


# A group file: a two-deep loop nest, a switch and a nested include of its leaf file.
def group_text(group, outer, inner, leaf_count):
    return f'''<envelope>
  <define name="GROUP_BASE" hex_expression="0x1000 * ({group} + 1)"/>
  <switch name="FAMILY">
    <case value="m0,m0plus"><define name="ALIGN" value="4"/></case>
    <case value="m4,m7"><define name="ALIGN" value="8"/></case>
    <default><define name="ALIGN" value="16"/></default>
  </switch>
  <for index="j" start="0" end="{outer}" incr="1" mul="0x100" add="$(GROUP_BASE)">
    <for index="i" start="0" end="{inner}" incr="1">
      <ProgramSection name=".$(PREFIX)_g{group}_$(j)_$(i)" alignment="$(ALIGN:4)"
        load="$(LOAD:Yes)" fill="$(FILL_{group}:0xFF)"
        address_symbol="$(SYMBOL_PREFIX:__)g{group}_$(j)_$(i)_start"
        end_symbol="$(SYMBOL_PREFIX:__)g{group}_$(j)_$(i)_end"/>
    </for>
  </for>
  <ifdef name="WITH_LEAVES">
    <include filename="leaf{group}.xml" macros="LEAF={group};FILL_{group}=0x{group:02X}"/>
  </ifdef>
</envelope>
'''


def generate_preprocessor(count, out, seed):
    del seed  # the structure is fixed; only its size varies
    groups = 8
    per_group = max(4, count // groups)
    leaf_count = per_group // 4
    looped = per_group - leaf_count
    outer = max(1, int(looped ** 0.5))
    inner = max(1, looped // outer)
    os.makedirs(out, exist_ok=True)
    inputs = ['memory_map.xml', 'placement.xml']
    for group in range(groups):
        write(out, f'group{group}.xml', group_text(group, outer, inner, leaf_count))
        write(out, f'leaf{group}.xml', leaf_text(group, leaf_count))
        inputs += [f'group{group}.xml', f'leaf{group}.xml']

    write(out, 'memory_map.xml', '''<!DOCTYPE Board_Memory_Definition_File>
<Root name="PreprocessedBoard">
  <define name="FLASH_START" value="0x08000000"/>
  <for index="k" start="0" end="4" incr="1" mul="0x01000000" add="$(FLASH_START)">
    <MemorySegment name="FLASH$(k)" start="$(k_ap_hex)" size="$(FLASH_SIZE:0x00800000)"
      access="ReadOnly"/>
  </for>
  <for index="k" start="0" end="4" incr="1" mul="0x01000000" add="0x20000000">
    <MemorySegment name="RAM$(k)" start="$(k_ap_hex)" size="$(RAM_SIZE:4 * 1024 * 1024)"
      access="ReadWrite"/>
  </for>
</Root>
''')

    lines = ['<!DOCTYPE Linker_Placement_File>', '<Root name="Preprocessed Placement">',
             '  <define name="SYMBOL_PREFIX" value="__"/>',
             '  <define name="WITH_LEAVES" value="1"/>',
             '  <if FAMILY="m4,m7">',
             '    <MemorySegment name="RAM0">',
             '      <ProgramSection name=".fpu_context" alignment="$(ALIGN:8)" size="0x88"/>',
             '    </MemorySegment>',
             '  </if>']
    for group in range(groups):
        segment = f'FLASH{group % 4}' if group % 2 == 0 else f'RAM{group % 4}'
        lines.append(f'  <MemorySegment name="{segment}">')
        lines.append(f'    <include filename="group{group}.xml" expand_macros="Yes"'
                     f' macros="GROUP={group};PREFIX=grp{group}"/>')
        lines.append('  </MemorySegment>')
    lines.append('</Root>')
    write(out, 'placement.xml', '\n'.join(lines) + '\n')
    write_args(out, ['-memory-map-file', 'memory_map.xml', '-memory-map-macros',
                     'FLASH_SIZE=0x00400000', '-section-placement-file', 'placement.xml',
                     '-section-placement-macros', 'FAMILY=m4;LOAD=Yes;KEEP_ALL=No'],
               inputs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('kind', choices=['sections', 'preprocessor'])
    parser.add_argument('count', type=int)
    parser.add_argument('out')
    parser.add_argument('--segments', type=int)
    parser.add_argument('--seed', type=int, default=1)
    args = parser.parse_args()
    if args.kind == 'sections':
        generate_sections(args.count, args.out, args.segments, args.seed)
    else:
        generate_preprocessor(args.count, args.out, args.seed)


if __name__ == '__main__':
    main()
