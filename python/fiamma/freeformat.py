"""Free-format (list-directed) text input, read record by record as the
program reads its text files (the configuration, the resume index).

A read takes the values of one record. It starts on the line after the one
where the previous read ended and goes on over further lines while it needs
values; whatever follows its last value on the line is skipped, so a line may
carry a comment. Values are separated by blanks, tabs, commas or semicolons;
``r*value`` repeats a value; ``r*`` and an empty field between commas are null
values (None: the item keeps its value); a slash ends the read, the items it
did not reach are null. Texts are quoted with ' or " (the quote doubled inside
stands for one) or bare up to the next separator.
"""

from __future__ import annotations

import re

from .tecplot import FormatError, parse_number

SEPARATORS = " \t\r,;/"
_BLANKS = " \t\r"
_INTEGER = re.compile(r"[+-]?\d+")
_REPEAT = re.compile(r"(\d+)\*")
_BARE = re.compile(r"[^ \t\r,;/]*")
_KIND = {"i": "an integer", "r": "a real number", "t": "a text"}


class FreeFormatError(FormatError):
    """A value that free-format input does not accept where it stands."""


class RecordReader:
    """The records of one text, read in order (see the module's rules)."""

    def __init__(self, text: str, path):
        self.lines = text.split("\n")
        self.path = path
        self.next_line = 0

    def read(self, record: int, items) -> list:
        """The values of ``items`` [(name, kind)], kind "i", "r" or "t"; None for a null value."""
        self.record, self.line, self.col = record, self.next_line, 0
        self.after_comma, self.ended, self.repeat_left = True, False, 0
        values = [self._next(kind, name) for name, kind in items]
        self.next_line = self.line + 1
        return values

    def _fail(self, name, problem):
        raise FreeFormatError(self.path, self.line + 1, f"record {self.record} ({name}): {problem}")

    def _skip_blanks(self) -> bool:
        while self.line < len(self.lines):
            text = self.lines[self.line]
            while self.col < len(text) and text[self.col] in _BLANKS:
                self.col += 1
            if self.col < len(text):
                return True
            self.line, self.col = self.line + 1, 0
        return False

    def _next(self, kind, name):
        if self.ended:
            return None
        if self.repeat_left > 0:
            self.repeat_left -= 1
            if self.repeat_value is not None and self.repeat_kind != kind:
                self._fail(name, f"a repeated value: {_KIND[self.repeat_kind]} where {_KIND[kind]} is expected")
            return self.repeat_value
        while True:
            if not self._skip_blanks():
                raise FreeFormatError(self.path, None, f"the file ends before record {self.record} ({name})")
            c = self.lines[self.line][self.col]
            if c == "/":
                self.col += 1
                self.ended = True
                return None
            if c in ",;":
                self.col += 1
                if self.after_comma:
                    return None
                self.after_comma = True
                continue
            break
        self.after_comma = False
        text = self.lines[self.line]
        m = _REPEAT.match(text, self.col)
        if m:
            if int(m.group(1)) == 0:
                self._fail(name, f"a repeat count of zero in {m.group(0)!r}")
            self.col = m.end()
            at_value = self.col < len(text) and text[self.col] not in SEPARATORS
            self.repeat_value = self._value(kind, name) if at_value else None
            self.repeat_kind, self.repeat_left = kind, int(m.group(1)) - 1
            return self.repeat_value
        return self._value(kind, name)

    def _value(self, kind, name):
        text = self.lines[self.line]
        quote = text[self.col]
        if quote in "'\"":
            if kind != "t":
                found = _BARE.match(text, self.col + 1).group(0)
                self._fail(name, f"expected {_KIND[kind]}, found {quote + found!r}")
            self.col += 1
            out = []
            while True:
                text = self.lines[self.line]
                if self.col >= len(text):  # a quoted text goes on on the next line
                    self.line, self.col = self.line + 1, 0
                    if self.line >= len(self.lines):
                        raise FreeFormatError(self.path, None, f"the file ends inside record {self.record} ({name})")
                    continue
                ch = text[self.col]
                self.col += 1
                if ch == quote:
                    if self.col < len(text) and text[self.col] == quote:
                        self.col += 1
                    else:
                        break
                out.append(ch)
            if self.col < len(text) and text[self.col] not in SEPARATORS:
                self._fail(name, f"a quoted text followed by {text[self.col]!r} instead of a separator")
            return "".join(out)
        token = _BARE.match(text, self.col).group(0)
        self.col += len(token)
        if kind == "i":
            if not _INTEGER.fullmatch(token):
                self._fail(name, f"expected an integer, found {token!r}")
            if not -2**31 <= int(token) < 2**31:
                self._fail(name, f"an integer outside the 32-bit range: {token!r}")
            return int(token)
        if kind == "r":
            try:
                return parse_number(token)
            except ValueError:
                self._fail(name, f"expected a real number, found {token!r}")
        return token
