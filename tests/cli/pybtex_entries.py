"""Prints how many entries pybtex reads from each .bib file named, one line
a file. pybtex runs in strict mode, where anything it would warn about is an
error: such a file's line is the error instead."""
import sys

import pybtex.errors
from pybtex.database import parse_file
from pybtex.exceptions import PybtexError

pybtex.errors.set_strict_mode(True)
for path in sys.argv[1:]:
    try:
        print(len(parse_file(path, bib_format="bibtex").entries))
    except (PybtexError, UnicodeError) as error:
        print(str(error).replace("\n", " "))
