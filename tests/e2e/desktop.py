"""A Wine virtual desktop for a test prefix: every program started in the prefix afterwards
runs inside one desktop window that Wine's explorer draws, as `explorer /desktop=NAME,WxH`
would give. Windows then have the frames and captions that Windows draws (Xvfb has no
window manager), and a maximised window fills the desktop as it fills a Windows screen.
Used by the main job and by scripts/screenshots.sh."""
import os

# The size of the harness's Xvfb screen, so that the desktop fills a screenshot.
SIZE = "1024x768"


def use_virtual_desktop(pfx, name="Orv", size=SIZE):
    """Sets the prefix's default desktop (HKCU\\Software\\Wine\\Explorer "Desktop", and its
    size under "Desktops"); returns regedit's exit code (0 when set)."""
    reg = os.path.join(pfx.case.dir, "desktop-%s.reg" % name)
    with open(reg, "w", encoding="ascii", newline="\r\n") as f:
        f.write("REGEDIT4\n\n"
                "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"
                "\"Desktop\"=\"%s\"\n\n"
                "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"
                "\"%s\"=\"%s\"\n\n" % (name, name, size))
    return pfx.wine(["regedit", "/S", pfx.win(reg)])


def open_html_with_winebrowser(pfx):
    """Gives .html and .htm files the program Wine registers for "htmlfile" (winebrowser,
    which hands the page to the host's browser), as a Windows machine with a browser has:
    a completion option that opens a product's documentation then starts it instead of
    failing. Returns regedit's exit code (0 when set)."""
    reg = os.path.join(pfx.case.dir, "html-viewer.reg")
    with open(reg, "w", encoding="ascii", newline="\r\n") as f:
        f.write("REGEDIT4\n\n"
                "[HKEY_CLASSES_ROOT\\.html]\n@=\"htmlfile\"\n\"Content Type\"=\"text/html\"\n\n"
                "[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\n\"Content Type\"=\"text/html\"\n\n"
                "[HKEY_CLASSES_ROOT\\htmlfile\\shell\\open\\command]\n"
                "@=\"\\\"C:\\\\windows\\\\system32\\\\winebrowser.exe\\\" \\\"%1\\\"\"\n\n")
    return pfx.wine(["regedit", "/S", pfx.win(reg)])
