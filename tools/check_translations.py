#!/usr/bin/env python3
"""Checks that a program's settings file translates every user-interface text of the program.

usage: check_translations.py SOURCE_ROOT INI_FILE [PROGRAM_FOLDER]

Texts are collected from SOURCE_ROOT/PROGRAM_FOLDER (default "copperfold"):
  * *.cpp and *.h: the English text of every call Translate(...), Tr(...) or
    TranslateText(...) whose text is a string literal. The text is the first argument when
    that is a literal; otherwise, for the shared form Translate(ini, language, english,
    fallback), the third argument when that is a literal. Calls with computed texts cannot
    be checked here.
  * *.rc: the text of every POPUP and MENUITEM, since menus are translated item by item
    at run time.

Every language section of INI_FILE (every section except "Setting") must hold each text
(trimmed, as the lookup trims keys) as a key with a non-empty value whose printf
conversions match the key's, and all language sections must hold the same keys. The
language named by LANG in [Setting] (default ENG) must exist.

Exit status: 0 when everything is in order (a one-line summary is printed), 1 on any
problem (each is printed), 2 on wrong usage.
"""

from __future__ import annotations

import re
import sys
from dataclasses import dataclass
from pathlib import Path

TRANSLATE_FUNCTIONS = {"Translate", "Tr", "TranslateText"}
SETTING_SECTION = "Setting"
LANGUAGE_KEY = "LANG"
DEFAULT_LANGUAGE = "ENG"

# White space as the profile lookup trims it (0x1A is the old end-of-file mark).
PROFILE_SPACE = " \t\r\n\v\f\x1a"

STRING_PREFIXES = {"L", "u8", "u", "U"}
RAW_PREFIXES = {"R", "LR", "u8R", "uR", "UR"}
LITERAL_MACROS = {"TEXT", "_T", "_TEXT", "__TEXT"}

PRINTF_CONVERSION = re.compile(
    r"%(?:%|[-+ #0]*(?:\d+|\*)?(?:\.(?:\d+|\*))?(?:hh|h|ll|l|L|z|j|t|I64|I32|I|w)?"
    r"[diouxXeEfFgGaAcCsSpn])")


def trim(text: str) -> str:
    return text.strip(PROFILE_SPACE)


def fold(text: str) -> str:
    """Case folding for section and key names: simple one-to-one upper-casing."""
    out = []
    for c in text:
        u = c.upper()
        out.append(u if len(u) == 1 else c)
    return "".join(out)


def shown(text: str) -> str:
    """The text for a report line; control characters are written as escapes."""
    return repr(text) if any(ord(c) < 0x20 for c in text) else text


def printf_conversions(text: str) -> list[str]:
    return [m for m in PRINTF_CONVERSION.findall(text) if m != "%%"]


@dataclass
class Token:
    kind: str  # "id", "str", "num", "chr", "punct"
    value: str
    line: int


@dataclass
class Text:
    text: str
    where: str


class SourceError(Exception):
    pass


def decode_escape(src: str, i: int, rc_style: bool) -> tuple[str, int]:
    """Decodes the escape sequence whose backslash is at src[i]; returns (char, next index)."""
    if i + 1 >= len(src):
        raise SourceError("backslash at end of input")
    c = src[i + 1]
    simple = {"n": "\n", "t": "\t", "r": "\r", "a": "\a", "b": "\b", "f": "\f", "v": "\v",
              "\\": "\\", "'": "'", '"': '"', "?": "?"}
    if c in simple:
        return simple[c], i + 2
    if c in "01234567":
        j = i + 1
        while j < len(src) and j < i + 4 and src[j] in "01234567":
            j += 1
        return chr(int(src[i + 1:j], 8)), j
    if c == "x":
        j = i + 2
        while j < len(src) and src[j] in "0123456789abcdefABCDEF":
            j += 1
        if j == i + 2:
            raise SourceError("\\x without hexadecimal digits")
        return chr(int(src[i + 2:j], 16) & 0x10FFFF), j
    if c in "uU":
        n = 4 if c == "u" else 8
        digits = src[i + 2:i + 2 + n]
        if len(digits) != n or not all(d in "0123456789abcdefABCDEF" for d in digits):
            raise SourceError(f"bad \\{c} escape")
        return chr(int(digits, 16)), i + 2 + n
    # Compilers keep an unknown escape's character (with a warning); the resource compiler
    # keeps the backslash too, as paths of resource files such as "res\app.ico" need.
    return ("\\" + c if rc_style else c), i + 2


def tokenize(src: str, rc_style: bool = False) -> list[Token]:
    """Splits C++ (or resource-script) text into tokens, dropping comments."""
    tokens: list[Token] = []
    i, line, n = 0, 1, len(src)
    while i < n:
        c = src[i]
        if c == "\n":
            line += 1
            i += 1
        elif c in " \t\r\v\f\\":
            i += 1
        elif src.startswith("//", i):
            while i < n and src[i] != "\n":
                i += 1
        elif src.startswith("/*", i):
            end = src.find("*/", i + 2)
            if end < 0:
                raise SourceError(f"line {line}: unterminated comment")
            line += src.count("\n", i, end)
            i = end + 2
        elif c.isalpha() or c == "_":
            j = i + 1
            while j < n and (src[j].isalnum() or src[j] == "_"):
                j += 1
            word = src[i:j]
            if j < n and src[j] == '"' and word in RAW_PREFIXES and not rc_style:
                i, line = read_raw_string(src, j, line, tokens)
            elif j < n and src[j] == '"' and (word in STRING_PREFIXES or
                                              (rc_style and word.upper() == "L")):
                i, line = read_string(src, j, line, tokens, rc_style)
            elif j < n and src[j] == "'" and word in STRING_PREFIXES and not rc_style:
                i = read_char(src, j, line, tokens)
            else:
                tokens.append(Token("id", word, line))
                i = j
        elif c.isdigit() or (c == "." and i + 1 < n and src[i + 1].isdigit()):
            j = i + 1
            while j < n:
                if src[j] in "eEpP" and j + 1 < n and src[j + 1] in "+-":
                    j += 2
                elif src[j].isalnum() or src[j] in "_.":
                    j += 1
                elif src[j] == "'" and j + 1 < n and src[j + 1].isalnum() and not rc_style:
                    j += 1  # digit separator
                else:
                    break
            tokens.append(Token("num", src[i:j], line))
            i = j
        elif c == '"':
            i, line = read_string(src, i, line, tokens, rc_style)
        elif c == "'" and not rc_style:
            i = read_char(src, i, line, tokens)
        else:
            tokens.append(Token("punct", c, line))
            i += 1
    return tokens


def read_string(src: str, i: int, line: int, tokens: list[Token], rc_style: bool) -> tuple[int, int]:
    start_line = line
    out = []
    i += 1
    while True:
        if i >= len(src):
            raise SourceError(f"line {start_line}: unterminated string literal")
        c = src[i]
        if c == '"':
            if rc_style and i + 1 < len(src) and src[i + 1] == '"':
                out.append('"')
                i += 2
                continue
            i += 1
            break
        if c == "\n" and not rc_style:
            raise SourceError(f"line {start_line}: line break inside a string literal")
        if c == "\\":
            if i + 1 < len(src) and src[i + 1] == "\n":  # line splice
                line += 1
                i += 2
                continue
            ch, i = decode_escape(src, i, rc_style)
            out.append(ch)
            continue
        if c == "\n":
            line += 1
        out.append(c)
        i += 1
    tokens.append(Token("str", "".join(out), start_line))
    return i, line


def read_raw_string(src: str, i: int, line: int, tokens: list[Token]) -> tuple[int, int]:
    open_paren = src.find("(", i + 1)
    if open_paren < 0:
        raise SourceError(f"line {line}: bad raw string literal")
    delimiter = src[i + 1:open_paren]
    close = src.find(")" + delimiter + '"', open_paren + 1)
    if close < 0:
        raise SourceError(f"line {line}: unterminated raw string literal")
    body = src[open_paren + 1:close]
    tokens.append(Token("str", body, line))
    return close + len(delimiter) + 2, line + src.count("\n", i, close)


def read_char(src: str, i: int, line: int, tokens: list[Token]) -> int:
    j = i + 1
    while j < len(src) and src[j] != "'":
        if src[j] == "\n":
            raise SourceError(f"line {line}: unterminated character literal")
        j += 2 if src[j] == "\\" else 1
    tokens.append(Token("chr", src[i + 1:j], line))
    return j + 1


def split_arguments(tokens: list[Token], open_index: int) -> list[list[Token]] | None:
    """Arguments of the call whose '(' is tokens[open_index]; None when unbalanced."""
    args: list[list[Token]] = [[]]
    depth = 0
    for tok in tokens[open_index + 1:]:
        if tok.kind == "punct" and tok.value in "([{":
            depth += 1
        elif tok.kind == "punct" and tok.value in ")]}":
            if depth == 0:
                return args if args != [[]] else []
            depth -= 1
        elif tok.kind == "punct" and tok.value == "," and depth == 0:
            args.append([])
            continue
        args[-1].append(tok)
    return None


def literal_value(arg: list[Token]) -> str | None:
    """The text of an argument made only of string literals (adjacent ones joined)."""
    if (len(arg) >= 4 and arg[0].kind == "id" and arg[0].value in LITERAL_MACROS
            and arg[1].value == "(" and arg[-1].value == ")"):
        arg = arg[2:-1]
    if arg and all(t.kind == "str" for t in arg):
        return "".join(t.value for t in arg)
    return None


def texts_from_cpp(tokens: list[Token], where: str) -> list[Text]:
    found = []
    for k, tok in enumerate(tokens[:-1]):
        if tok.kind != "id" or tok.value not in TRANSLATE_FUNCTIONS:
            continue
        if not (tokens[k + 1].kind == "punct" and tokens[k + 1].value == "("):
            continue
        args = split_arguments(tokens, k + 1)
        if not args:
            continue
        text = literal_value(args[0])
        if text is None and len(args) >= 3:
            text = literal_value(args[2])
        if text is not None:
            found.append(Text(text, f"{where}:{tok.line}"))
    return found


def texts_from_rc(tokens: list[Token], where: str) -> list[Text]:
    found = []
    for k, tok in enumerate(tokens[:-1]):
        if tok.kind == "id" and tok.value.upper() in ("POPUP", "MENUITEM"):
            nxt = tokens[k + 1]
            if nxt.kind == "str":
                found.append(Text(nxt.value, f"{where}:{tok.line}"))
    return found


def decode_file(data: bytes, allow_code_page: bool) -> str:
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le")
    if data.startswith(b"\xfe\xff"):
        return data[2:].decode("utf-16-be")
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8")
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        if allow_code_page:
            return data.decode("cp1252", errors="replace")
        raise


def collect_texts(source_root: Path, problems: list[str], program_folder: str = "copperfold") -> list[Text]:
    base = source_root / program_folder
    files = sorted(p for p in base.rglob("*") if p.is_file()) if base.is_dir() else []
    cpp_files = [p for p in files if p.suffix == ".cpp"]
    if not cpp_files:
        problems.append(f"no .cpp files found under {base}; nothing would be checked")
        return []
    texts: list[Text] = []
    for path in files:
        if path.suffix not in (".cpp", ".h", ".rc"):
            continue
        where = path.relative_to(source_root).as_posix()
        try:
            src = decode_file(path.read_bytes(), allow_code_page=True)
            if path.suffix == ".rc":
                texts += texts_from_rc(tokenize(src, rc_style=True), where)
            else:
                texts += texts_from_cpp(tokenize(src), where)
        except (OSError, UnicodeDecodeError, SourceError) as err:
            problems.append(f"{where}: cannot be scanned: {err}")
    return texts


@dataclass
class Section:
    name: str
    entries: dict[str, tuple[str, str, int]]  # folded key -> (key, value, line)


def parse_ini(path: Path, problems: list[str]) -> list[Section] | None:
    try:
        text = decode_file(path.read_bytes(), allow_code_page=False)
    except OSError as err:
        problems.append(f"{path}: cannot be read: {err.strerror}")
        return None
    except UnicodeDecodeError:
        problems.append(f"{path}: neither UTF-8 nor UTF-16 with a byte order mark")
        return None
    sections: list[Section] = []
    seen_sections: set[str] = set()
    current: Section | None = None
    for number, raw in enumerate(re.split(r"\r\n|\r|\n", text), start=1):
        line = trim(raw)
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.rfind("]") > 0:
            name = trim(line[1:line.rfind("]")])
            if fold(name) in seen_sections:
                problems.append(f"{path}:{number}: section [{name}] appears again; "
                                "only its first occurrence is read")
                current = Section(name, {})  # checked for its own faults, then dropped
                continue
            seen_sections.add(fold(name))
            current = Section(name, {})
            sections.append(current)
            continue
        if "=" not in line:
            continue
        if current is None:
            problems.append(f"{path}:{number}: entry outside any section")
            continue
        key, value = trim(line.split("=", 1)[0]), trim(line.split("=", 1)[1])
        folded = fold(key)
        if folded in current.entries:
            first = current.entries[folded][2]
            problems.append(f"{path}:{number}: [{current.name}] repeats key {key!r} "
                            f"(first at line {first}); only the first is read")
            continue
        current.entries[folded] = (key, value, number)
    return sections


def check(source_root: Path, ini_path: Path, program_folder: str = "copperfold") -> int:
    problems: list[str] = []
    texts = collect_texts(source_root, problems, program_folder)
    sections = parse_ini(ini_path, problems)

    required: dict[str, Text] = {}  # folded trimmed text -> first occurrence
    for t in texts:
        key = trim(t.text)
        if not key:
            continue
        if "\n" in key or "\r" in key or "=" in key:
            problems.append(f"{t.where}: text {t.text!r} holds a line break or '=' "
                            "and cannot be a settings key")
            continue
        required.setdefault(fold(key), Text(key, t.where))

    languages: list[Section] = []
    if sections is not None:
        setting = next((s for s in sections if fold(s.name) == fold(SETTING_SECTION)), None)
        languages = [s for s in sections if fold(s.name) != fold(SETTING_SECTION)]
        language = DEFAULT_LANGUAGE
        if setting is not None and fold(LANGUAGE_KEY) in setting.entries:
            language = setting.entries[fold(LANGUAGE_KEY)][1]
        if not languages:
            problems.append(f"{ini_path}: no language section")
        elif fold(language) not in {fold(s.name) for s in languages}:
            problems.append(f"{ini_path}: [{SETTING_SECTION}] selects language {language!r}, "
                            "which has no section")

        for section in languages:
            for folded, text in required.items():
                entry = section.entries.get(folded)
                if entry is None:
                    problems.append(f"[{section.name}] missing: {shown(text.text)}  ({text.where})")
                elif not entry[1]:
                    problems.append(f"[{section.name}] empty translation: {shown(text.text)}  "
                                    f"({ini_path.name}:{entry[2]})")

        all_keys: dict[str, str] = {}
        for section in languages:
            for folded, (key, _, _) in section.entries.items():
                all_keys.setdefault(folded, key)
        for section in languages:
            for folded, key in all_keys.items():
                if folded not in section.entries and folded not in required:
                    holders = ", ".join(f"[{s.name}]" for s in languages if folded in s.entries)
                    problems.append(f"[{section.name}] lacks key {key!r} that {holders} "
                                    "holds")
            for key, value, number in section.entries.values():
                if value and printf_conversions(key) != printf_conversions(value):
                    problems.append(f"[{section.name}] {ini_path.name}:{number}: placeholders "
                                    f"of {value!r} do not match those of {key!r}")

    if problems:
        for problem in problems:
            print(problem)
        print(f"{len(problems)} problem(s) found")
        return 1
    print(f"{len(required)} texts checked in {len(languages)} languages")
    return 0


def main(argv: list[str]) -> int:
    if len(argv) not in (3, 4):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    return check(Path(argv[1]), Path(argv[2]), *argv[3:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
