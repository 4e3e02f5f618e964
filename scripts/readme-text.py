#!/usr/bin/env python3
"""README.md as plain text that Notepad shows well: the Windows release's README.txt.

    scripts/readme-text.py README.md README.txt "Lumivane 1.2.3 for Windows"

Knows the Markdown README.md is written in, and no more: headings, paragraphs,
lists, tables, fenced code, inline code, emphasis, links and pictures. The
first heading becomes TITLE; a picture, which the zip does not hold, is named
by its text; a link keeps its text, and a web address after it. Paragraphs are wrapped at 78
columns; every line ends in CR LF.
"""
import re
import sys
import textwrap

WIDTH = 78


def inline(text):
    text = re.sub(r"!\[([^\]]*)\]\([^)]*\)", r"[picture: \1]", text)
    text = re.sub(r"\[([^\]]*)\]\((https?://[^)]*)\)", r"\1 (\2)", text)
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"\*\*([^*]+)\*\*", r"\1", text)
    return text.replace("`", "").strip()


def wrap(text, first="", rest=""):
    return textwrap.wrap(inline(text), WIDTH, initial_indent=first, subsequent_indent=rest,
                         break_long_words=False, break_on_hyphens=False) or [first.rstrip()]


def convert(markdown, title):
    out = []
    last = None  # the kind of the last block

    def emit(kind, block):
        # A blank line between blocks, none between the items of one list.
        nonlocal last
        if out and not (kind == last == "item"):
            out.append("")
        out.extend(block)
        last = kind

    lines = markdown.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        heading = re.match(r"(#{1,3}) (.*)", line)
        item = re.match(r"(\s*)(- |\d+\. )", line)
        if not line.strip():
            i += 1
        elif line.startswith("```"):
            end = lines.index(line[:3], i + 1)
            emit("code", [("    " + code).rstrip() for code in lines[i + 1:end]])
            i = end + 1
        elif heading:
            level = len(heading.group(1))
            name = title if level == 1 and not out else inline(heading.group(2))
            emit("heading", [name, "=-~"[level - 1] * len(name)])
            i += 1
        elif line.startswith("|"):
            # Past its header and rule, each row: its first cell, the rest below.
            block = []
            i += 2
            while i < len(lines) and lines[i].startswith("|"):
                cells = [inline(cell) for cell in lines[i].strip().strip("|").split(" | ")]
                block += wrap(cells[0], "  ", "  ") + wrap(": ".join(cells[1:]), "      ", "      ")
                i += 1
            emit("table", block)
        else:
            # A paragraph or a list item, with the lines that carry it on.
            text = [line[item.end():] if item else line]
            i += 1
            while (i < len(lines) and lines[i].strip() and not lines[i].startswith(("```", "|", "#"))
                   and not re.match(r"\s*(- |\d+\. )", lines[i])):
                text.append(lines[i].strip())
                i += 1
            paragraph = " ".join(part.strip() for part in text)
            if item:
                first = "  " + item.group(1) + item.group(2)
                emit("item", wrap(paragraph, first, " " * len(first)))
            else:
                emit("paragraph", wrap(paragraph))
    return out


def main():
    source, target, title = sys.argv[1:4]
    with open(source, encoding="utf-8") as file:
        text = convert(file.read(), title)
    with open(target, "w", encoding="ascii", newline="\r\n") as file:
        file.write("\n".join(text) + "\n")


if __name__ == "__main__":
    main()
