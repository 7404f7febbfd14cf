"""Builders of PDB record lines with exact columns, for the PDB tests."""


def atom(serial, name, res_name, chain, seq, element, *, x=0.0, y=0.0, z=0.0, alt=" ", icode=" ", charge="  ",
         het=False, occupancy=1.0, temp=0.0, segment="    "):
    record = "HETATM" if het else "ATOM  "
    padded_name = name if len(name) == 4 else " " + name
    return (f"{record}{serial:>5} {padded_name:<4}{alt:1}{res_name:>3} {chain:1}{seq:>4}{icode:1}   "
            f"{x:8.3f}{y:8.3f}{z:8.3f}{occupancy:6.2f}{temp:6.2f}      {segment:4}{element:>2}{charge:2}")


def hetatm(serial, name, res_name, chain, seq, element, **kw):
    return atom(serial, name, res_name, chain, seq, element, het=True, **kw)


def conect(*serials):
    return "CONECT" + "".join(f"{s:>5}" for s in serials)


def seqres(ser_num, chain, count, names):
    return f"SEQRES {ser_num:>3} {chain:1} {count:>4}  " + " ".join(names)


def dbref(chain, seq_begin):
    return f"DBREF  1ABC {chain:1} {seq_begin:>4}    98  SWS    P43529   E2BB_ECOLI      24    121"


def helix(ser_num, helix_id, init, end, helix_class=None, length=None):
    """`init` and `end` are (res_name, chain, seq, icode)."""
    line = (f"HELIX  {ser_num:>3} {helix_id:>3} {init[0]:>3} {init[1]:1} {init[2]:>4}{init[3]:1} "
            f"{end[0]:>3} {end[1]:1} {end[2]:>4}{end[3]:1}")
    line += f"{helix_class:>2}" if helix_class is not None else "  "
    if length is not None:
        line = line.ljust(71) + f"{length:>5}"
    return line


def sheet(strand, sheet_id, num_strands, init, end, sense):
    """`init` and `end` are (res_name, chain, seq, icode); `num_strands`/`sense` None for blank."""
    n = f"{num_strands:>2}" if num_strands is not None else "  "
    s = f"{sense:>2}" if sense is not None else "  "
    return (f"SHEET  {strand:>3} {sheet_id:>3}{n} {init[0]:>3} {init[1]:1}{init[2]:>4}{init[3]:1} "
            f"{end[0]:>3} {end[1]:1}{end[2]:>4}{end[3]:1}{s}")


def text(*lines):
    return "\n".join(lines) + "\n"
