"""Snapshots of a prefix's C: drive and registry, and their differences."""
import re

# What Wine itself adds while programs run (its plug-and-play devices set themselves up in
# the first session of a prefix): left out of Snapshot.diff unless ignore=() is given.
WINE_CHURN = (
    r"^C:\\windows\\inf\\.*\.pnf$",
    r"^HKLM\\system\\currentcontrolset\\control\\(class|deviceclasses)\\",
    r"^HKLM\\system\\currentcontrolset\\enum\\",
    r"^HKLM\\system\\currentcontrolset\\services\\(winehid|winebus|hidclass|wineusb)$",
    r"^HKLM\\software\\microsoft\\windows nt\\currentversion\\networkcards(\\|$)",
    # The font lists: Wine rewrites them in every session from the machine's fonts, so they
    # change in a copied prefix whenever the machine's fonts changed after the template.
    r"^HKCU\\software\\wine\\fonts\\external fonts$",
    r"^HKLM\\software\\microsoft\\windows( nt)?\\currentversion\\fonts$",
)


class Snapshot:
    def __init__(self, files, registry):
        self.files = files          # lower Windows path -> (path, size, mtime, sha1 or None)
        self.registry = registry    # Registry.flat()

    def diff(self, after, ignore=WINE_CHURN):
        pats = [re.compile(p, re.I) for p in ignore]
        keep = lambda s: not any(p.search(s) for p in pats)
        a, b = self.files, after.files
        out = {
            "files_added": sorted(b[k][0] for k in b.keys() - a.keys() if keep(b[k][0])),
            "files_removed": sorted(a[k][0] for k in a.keys() - b.keys() if keep(a[k][0])),
            "files_changed": sorted(b[k][0] for k in a.keys() & b.keys()
                                    if a[k][1:] != b[k][1:] and keep(b[k][0])),
        }
        ra, rb = self.registry, after.registry
        name = lambda k: k[0] + "\\" + k[1]
        out["keys_added"] = sorted(name(k) for k in rb.keys() - ra.keys() if keep(name(k)))
        out["keys_removed"] = sorted(name(k) for k in ra.keys() - rb.keys() if keep(name(k)))
        out["values_changed"] = sorted(name(k) for k in ra.keys() & rb.keys()
                                       if ra[k] != rb[k] and keep(name(k)))
        return out
