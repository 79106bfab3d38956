#!/usr/bin/env python3
"""The release package's README.txt is the support person's guide, read in Notepad:

    check_guide.py ZIP
    check_guide.py --sees-faults ZIP   the check finds each kind of fault in a copy

It must be in the package, plain ASCII with CRLF line ends, at most 80 columns, and
every text it quotes in double quotes must be one the program prints: made of the
texts in the package's x86 Velmora.exe, where "..." and numbers stand for values
that differ from machine to machine. Lines indented by five spaces or more are
examples to type, not quotes.
"""
import io
import re
import sys
import zipfile

WIDTH = 80


def program_texts(exe):
    """The program's wide-character texts, each whole, as the compiler stored them."""
    return {m.group().decode("utf-16-le") for m in re.finditer(rb"(?:[\x20-\x7e]\x00){2,}", exe)}


class Texts:
    def __init__(self, texts):
        self.whole = texts
        self.inner, self.starts, self.ends = set(), set(), set()
        for text in texts:
            for i in range(len(text)):
                self.starts.add(text[: i + 1])
                self.ends.add(text[i:])
                for j in range(i + 1, len(text) + 1):
                    self.inner.add(text[i:j])

    def printed(self, part):
        """Whether `part` is a run of the program's texts, joined as the program joins
        them: the first may be a text's end, the last a text's start, those between whole."""
        n = len(part)
        if part in self.inner:
            return True
        reachable = [False] * (n + 1)
        reachable[0] = True
        for i in range(n):
            if not reachable[i]:
                continue
            for j in range(i + 1, n + 1):
                piece = part[i:j]
                if (i == 0 and j == n) or reachable[j]:
                    continue
                fits = (piece in self.ends if i == 0 else
                        piece in self.starts if j == n else piece in self.whole)
                if fits:
                    reachable[j] = True
        return reachable[n]


def quoted_parts(text):
    """Each double-quoted text outside the examples, in the parts between its values."""
    for number, line in enumerate(text.split("\r\n"), 1):
        if line.startswith(" " * 5):
            continue
        for quote in re.findall(r'"([^"]*)"', line):
            words = re.sub(r"(?<![^ ])[0-9A-F.]{4,}(?![^ ])", "...", quote)
            for part in words.split("..."):
                if part.strip():
                    yield number, quote, part


def problems(archive):
    names = archive.namelist()
    if "README.txt" not in names:
        return ["README.txt is not in the package"]
    raw = archive.read("README.txt")
    found = []
    if re.search(rb"(?<!\r)\n|\r(?!\n)", raw):
        found.append("README.txt has a line end that is not CRLF")
    try:
        text = raw.decode("ascii")
    except UnicodeDecodeError:
        return found + ["README.txt is not plain ASCII"]
    for number, line in enumerate(text.split("\r\n"), 1):
        if len(line) > WIDTH:
            found.append(f"README.txt:{number} is {len(line)} columns wide")
    texts = Texts(program_texts(archive.read("win32/Velmora.exe")))
    for number, quote, part in quoted_parts(text):
        if not texts.printed(part):
            found.append(f'README.txt:{number} quotes "{quote}": the program prints no "{part}"')
    return found


def with_guide(archive, guide):
    """An in-memory copy of the package whose README.txt is `guide` (None: none)."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as copy:
        copy.writestr("win32/Velmora.exe", archive.read("win32/Velmora.exe"))
        if guide is not None:
            copy.writestr("README.txt", guide)
    return zipfile.ZipFile(buffer)


def sees_faults(archive):
    """Each fault, put into the package's own guide, is found; the guide itself is not."""
    guide = archive.read("README.txt")
    faults = {
        "no guide": None,
        "a bare LF": guide + b"one more line\n",
        "81 columns": guide + b"x" * 81 + b"\r\n",
        "not ASCII": guide + "\u00e9\r\n".encode("utf-8"),
        "a text the program never prints": guide + b'"Supplement is great"\r\n',
    }
    missed = [name for name, bytes_ in faults.items() if not problems(with_guide(archive, bytes_))]
    missed += ["the guide as it is"] if problems(with_guide(archive, guide)) else []
    for name in missed:
        print(f"the check is wrong on: {name}")
    return missed


def main():
    if sys.argv[1] == "--sees-faults":
        with zipfile.ZipFile(sys.argv[2]) as archive:
            return 1 if sees_faults(archive) else 0
    with zipfile.ZipFile(sys.argv[1]) as archive:
        found = problems(archive)
    for problem in found:
        print(problem)
    if not found:
        print("README.txt: in the package, CRLF, within 80 columns, quoting only the program's texts")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
