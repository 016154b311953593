#!/usr/bin/env python3
"""Section-3 manual pages from doxygen's XML of the installed headers.

One page per function (NAME, SYNOPSIS, DESCRIPTION, RETURN VALUE, ERRORS,
BLOCKING, THREADS, SEE ALSO) and an overview page ebd(3) with the library's
model, its error codes and the list of functions. The pages are written
gzip-compressed with a fixed time stamp, so that two builds give the same
bytes.

Usage: man3.py XML_DIR OUT_DIR VERSION
"""
import gzip
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

# Paragraph titles (@par) that get a section of their own, in page order.
SECTIONS = {"Errors": "ERRORS", "Blocking": "BLOCKING", "Threads": "THREADS"}
# What a page says when the header gives no such paragraph: the library's rule
# for functions that neither fail with a code nor wait (the file's own text
# for THREADS).
DEFAULTS = {"Errors": "None stored.", "Blocking": "Does not block."}
TITLE = "libebd Manual"


def escape(text):
    """Text for a roff line: backslashes escaped, no control character first."""
    text = text.replace("\\", "\\e")
    return "\\&" + text if text[:1] in (".", "'") else text


class Inline:
    """Renders doxygen's inline markup into one line of roff text."""

    def __init__(self, function_names):
        self.functions = function_names

    def text(self, element):
        parts = [escape_inline(element.text or "")]
        for child in element:
            parts.append(self.child(child))
            parts.append(escape_inline(child.tail or ""))
        return "".join(parts)

    def child(self, element):
        tag = element.tag
        inner = self.text(element)
        if tag in ("computeroutput", "bold"):
            return "\\fB" + inner + "\\fR"
        if tag == "emphasis":
            return "\\fI" + inner + "\\fR"
        if tag == "ref":
            return "\\fB" + inner + "\\fR"
        if tag == "linebreak":
            return " "
        if tag in ("parameterlist", "simplesect", "itemizedlist", "orderedlist", "title"):
            return ""  # rendered as blocks of their own
        return inner


def escape_inline(text):
    return re.sub(r"\s+", " ", text.replace("\\", "\\e"))


def line(text):
    """One filled roff line from inline text, never starting with a control character."""
    text = text.strip()
    return "\\&" + text if text[:1] in (".", "'") else text


class Page:
    def __init__(self, name, version):
        # The header line holds the title twice and the manual's name between;
        # for the longest names the manual's name is left out, so that the
        # line fits 80 columns. Identifiers are long: no hyphenation, ragged right.
        title = TITLE if 2 * (len(name) + 3) + len(TITLE) + 4 <= 80 else ""
        self.lines = [f'.TH {name.upper()} 3 "" "libebd {version}" "{title}"', ".nh", ".ad l"]

    def section(self, title):
        self.lines.append(".SH " + title)

    def para(self, text):
        if text.strip():
            if self.lines[-1].startswith(".SH") or self.lines[-1].startswith(".TP"):
                self.lines.append(line(text))
            else:
                self.lines += [".PP", line(text)]

    def raw(self, *roff):
        self.lines += roff

    def write(self, path):
        data = ("\n".join(self.lines) + "\n").encode("utf-8")
        with open(path, "wb") as raw_file:
            with gzip.GzipFile(filename="", mode="wb", fileobj=raw_file, mtime=0, compresslevel=9) as out:
                out.write(data)


class Description:
    """The pieces of one detaileddescription: plain paragraphs, lists,
    parameters and the simple sections (return, see, par with a title...)."""

    def __init__(self, element, inline):
        self.paras = []  # roff blocks: ("p", text) or ("li", [texts])
        self.params = []  # (name, direction, text)
        self.sections = {}  # kind or par title -> [texts]
        self.see = []  # names referred to
        if element is None:
            return
        for para in element.findall("para"):
            self.read_para(para, inline)

    def read_para(self, para, inline):
        text = inline.text(para)
        if text.strip():
            self.paras.append(("p", text))
        for child in para:
            if child.tag == "parameterlist":
                for item in child.findall("parameteritem"):
                    names = item.find("parameternamelist")
                    for name in names.findall("parametername"):
                        description = item.find("parameterdescription")
                        body = " ".join(inline.text(p) for p in description.findall("para"))
                        self.params.append((name.text or "", name.get("direction", ""), body))
            elif child.tag == "simplesect":
                kind = child.get("kind")
                key = child.findtext("title") if kind == "par" else kind
                texts = [inline.text(p) for p in child.findall("para")]
                self.sections.setdefault(key, []).extend(t for t in texts if t.strip())
                if kind == "see":
                    for ref in child.iter("ref"):
                        self.see.append((ref.text or "").rstrip("()"))
            elif child.tag in ("itemizedlist", "orderedlist"):
                items = [" ".join(inline.text(p) for p in li.findall("para")) for li in child.findall("listitem")]
                self.paras.append(("li", items))


def render_blocks(page, blocks):
    for kind, body in blocks:
        if kind == "p":
            page.para(body)
        else:
            for item in body:
                page.raw(".IP \\(bu 2", line(item))


def signature(member):
    ret = "".join(member.find("type").itertext()).strip()
    args = member.findtext("argsstring") or "()"
    name = member.findtext("name")
    return f"{ret} {name}{args};"


def function_page(member, inline, version, threads_default, out_dir):
    name = member.findtext("name")
    brief = " ".join(inline.text(p) for p in member.find("briefdescription").findall("para")).strip()
    detail = Description(member.find("detaileddescription"), inline)
    page = Page(name, version)
    page.section("NAME")
    page.raw(line(f"{name} \\- {brief.rstrip('.')}"))
    page.section("SYNOPSIS")
    page.raw(".nf", ".B #include <ebd/ebd.h>", ".PP", ".B " + escape(signature(member)), ".fi", ".PP",
             "Link with \\fI\\-lebd\\fR (\\fBpkg\\-config \\-\\-libs ebd\\fR).")
    page.section("DESCRIPTION")
    page.para(brief)
    render_blocks(page, detail.paras)
    for text in detail.sections.get("warning", []):
        page.para(f"\\fBWarning:\\fR {text}")
    if detail.params:
        page.para("Parameters:")
        for pname, direction, text in detail.params:
            page.raw(".TP", f"\\fI{escape(pname)}\\fR" + (f" [{direction}]" if direction else ""), line(text))
    for title in ("Mode", "Trace"):
        for text in detail.sections.get(title, []):
            page.para(f"\\fB{title}:\\fR {text}")
    for key, texts in detail.sections.items():
        if key not in SECTIONS and key not in ("Mode", "Trace", "warning", "return", "see", "since"):
            for text in texts:
                page.para(f"\\fB{escape(key)}:\\fR {text}")
    for text in detail.sections.get("since", []):
        page.para(f"Available since libebd {text.strip()}.")
    page.section("RETURN VALUE")
    returns = detail.sections.get("return", [])
    if returns:
        for text in returns:
            page.para(text)
    else:
        page.para("None.")
    for title, heading in SECTIONS.items():
        page.section(heading)
        texts = detail.sections.get(title)
        if texts:
            for text in texts:
                page.para(text)
        elif title == "Threads":
            for text in threads_default:
                page.para(text)
        else:
            page.para(DEFAULTS[title])
    page.section("SEE ALSO")
    see = [s for s in dict.fromkeys(detail.see) if s and s != name]
    refs = [f"\\fB{escape(s)}\\fR(3)" for s in see] + ["\\fBebd\\fR(3)"]
    page.raw(line(", ".join(refs)))
    page.write(out_dir / f"{name}.3.gz")


def overview_page(files, functions, inline, version, out_dir):
    page = Page("ebd", version)
    page.section("NAME")
    page.raw("ebd \\- control of a cellular radio module on a serial port (libebd)")
    page.section("SYNOPSIS")
    page.raw(".nf", ".B #include <ebd/ebd.h>", ".fi", ".PP",
             "Link with \\fI\\-lebd\\fR (\\fBpkg\\-config \\-\\-cflags \\-\\-libs ebd\\fR).")
    page.section("DESCRIPTION")
    for compound in files:
        detail = compound.find("detaileddescription")
        brief = " ".join(inline.text(p) for p in compound.find("briefdescription").findall("para"))
        page.para(brief)
        for para in detail.findall("para"):
            page.para(inline.text(para))
        for sect in detail.iter("sect1"):
            page.raw(".SS " + escape(sect.findtext("title") or ""))
            for para in sect.findall("para"):
                page.para(inline.text(para))
                for child in para:
                    if child.tag in ("itemizedlist", "orderedlist"):
                        for li in child.findall("listitem"):
                            page.raw(".IP \\(bu 2", line(" ".join(inline.text(p) for p in li.findall("para"))))
    enums = [m for c in files for m in c.iter("memberdef") if m.get("kind") == "enum"]
    if enums:
        page.section("ERROR CODES")
        for enum in enums:
            for value in enum.findall("enumvalue"):
                init = (value.findtext("initializer") or "").lstrip("= ").strip()
                text = " ".join(inline.text(p) for p in value.iter("para"))
                page.raw(".TP", f"\\fB{escape(value.findtext('name'))}\\fR {escape(init)}", line(text))
    page.section("FUNCTIONS")
    for member in functions:
        brief = " ".join(inline.text(p) for p in member.find("briefdescription").findall("para"))
        page.raw(".TP", f"\\fB{member.findtext('name')}\\fR(3)", line(brief))
    page.write(out_dir / "ebd.3.gz")


def section_paras(compound, suffix, inline):
    detail = compound.find("detaileddescription")
    for sect in detail.iter("sect1"):
        if (sect.get("id") or "").endswith(suffix):
            return [inline.text(p) for p in sect.findall("para")]
    return []


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 64
    xml_dir, out_dir, version = Path(argv[1]), Path(argv[2]), argv[3]
    out_dir.mkdir(parents=True, exist_ok=True)
    for old in out_dir.glob("*.3.gz"):
        old.unlink()
    index = ET.parse(xml_dir / "index.xml").getroot()
    files = []
    for compound in index.findall("compound"):
        if compound.get("kind") == "file":
            files.append(ET.parse(xml_dir / f"{compound.get('refid')}.xml").getroot().find("compounddef"))
    # The main header first: its description opens the overview.
    files.sort(key=lambda c: (c.findtext("compoundname") != "ebd.h", c.findtext("compoundname")))
    functions = [m for c in files for m in c.iter("memberdef") if m.get("kind") == "function"]
    inline = Inline({m.findtext("name") for m in functions})
    threads = []
    for compound in files:
        threads += section_paras(compound, "_threads", inline)
    for member in functions:
        function_page(member, inline, version, threads, out_dir)
    overview_page(files, functions, inline, version, out_dir)
    print(f"man3: {len(functions)} function pages and ebd(3) in {out_dir}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
