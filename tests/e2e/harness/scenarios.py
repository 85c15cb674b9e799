"""Pieces of scenarios for the dialog driver shared by the tests, and the Wine noise that a
comparison of two snapshots leaves out."""
from .env import quote
from .snapshots import WINE_CHURN

q = quote

# What Wine itself changes in a prefix between two sessions, whatever the programs do: its
# churn (see snapshots.py), the temporary directories, and its virtual input devices, which
# it enumerates when a session starts.
WINE_NOISE = list(WINE_CHURN) + [
    r"^C:\\users\\[^\\]+\\Temp\\",
    r"^C:\\windows\\temp\\",
    r"^C:\\windows\\inf\\",
    r"^HKLM\\system\\currentcontrolset\\enum\\",
    r"^HKLM\\system\\currentcontrolset\\control\\class\\",
    r"^HKLM\\system\\currentcontrolset\\control\\deviceclasses\\",
    r"^HKLM\\system\\currentcontrolset\\services\\winehid$",
]


def box(caption, text, answer=1):
    """A message box step: its caption and exact text, then the button pressed."""
    return "expect caption=%s text=%s\npress %d\n" % (quote(caption), quote(text), answer)


def leftovers(before, after, ignore=WINE_NOISE):
    """The non-empty parts of the difference between two snapshots, but Wine's noise."""
    return {k: v for k, v in before.diff(after, ignore=ignore).items() if v}
