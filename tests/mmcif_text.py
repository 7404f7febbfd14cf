"""Builders of small mmCIF texts for the reader tests."""

from __future__ import annotations

ATOM_COLUMNS = (
    "group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id", "label_comp_id", "label_asym_id",
    "label_seq_id", "pdbx_PDB_ins_code", "Cartn_x", "Cartn_y", "Cartn_z", "occupancy", "B_iso_or_equiv",
    "pdbx_formal_charge", "auth_seq_id", "auth_asym_id", "pdbx_PDB_model_num",
)


def atom(name: str, comp: str, seq: int | str, chain: str = "A", *, el: str | None = None, alt: str = ".",
         ins: str = "?", xyz: tuple[float, float, float] = (0.0, 0.0, 0.0), charge: str = "?",
         label_asym: str | None = None, label_seq: int | str | None = None, model: str = "1",
         group: str = "ATOM") -> dict[str, str]:
    """One `_atom_site` row as a column -> text mapping."""
    return {
        "group_PDB": group, "type_symbol": el if el is not None else name[0], "label_atom_id": name,
        "label_alt_id": alt, "label_comp_id": comp, "label_asym_id": label_asym or chain,
        "label_seq_id": str(seq if label_seq is None else label_seq), "pdbx_PDB_ins_code": ins,
        "Cartn_x": str(xyz[0]), "Cartn_y": str(xyz[1]), "Cartn_z": str(xyz[2]), "occupancy": "1.00",
        "B_iso_or_equiv": "10.0", "pdbx_formal_charge": charge, "auth_seq_id": str(seq), "auth_asym_id": chain,
        "pdbx_PDB_model_num": model,
    }


def loop(category: str, columns: tuple[str, ...] | list[str], rows: list[dict[str, str]] | list[list[str]]) -> str:
    lines = ["loop_"] + [f"{category}.{c}" for c in columns]
    for r in rows:
        values = [r.get(c, "?") for c in columns] if isinstance(r, dict) else list(r)
        lines.append(" ".join(v if v else "?" for v in values))
    return "\n".join(lines) + "\n#\n"


def atom_sites(rows: list[dict[str, str]], columns: tuple[str, ...] = ATOM_COLUMNS) -> str:
    for i, r in enumerate(rows, 1):
        r.setdefault("id", str(i))
    return loop("_atom_site", columns, rows)


def singles(category: str, values: dict[str, str]) -> str:
    return "".join(f"{category}.{k} {v}\n" for k, v in values.items()) + "#\n"


def cif(*parts: str, name: str = "TEST") -> str:
    return f"data_{name}\n#\n" + "".join(parts)
