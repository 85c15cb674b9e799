"""What a run under the dialog driver (orvdrive) reports: its window log read back."""
import json
import os


def dedent(text):
    return "\n".join(l.strip() for l in text.strip("\n").split("\n")) + "\n"


class RunResult:
    def __init__(self, name, rc, log, out, seconds, timed_out):
        self.name = name
        self.orvdrive_rc = rc
        self.log_path = log
        self.out_path = out
        self.seconds = seconds
        self.events = []
        if os.path.exists(log):
            with open(log, encoding="utf-8", errors="replace") as f:
                for line in f:
                    line = line.strip()
                    if line:
                        try:
                            self.events.append(json.loads(line))
                        except ValueError:
                            self.events.append({"event": "garbled", "line": line})
        self.windows = [e for e in self.events if e.get("event") == "window"]
        self.dialogs = [w for w in self.windows if w.get("class") == "#32770"]
        ends = [e for e in self.events if e.get("event") == "exit" and e.get("main")]
        self.exit_code = ends[-1]["code"] if ends else None
        self.children = [e for e in self.events if e.get("event") == "exit" and not e.get("main")]
        res = [e for e in self.events if e.get("event") == "result"]
        if timed_out:
            self.ok, self.reason = False, "orvdrive did not end within the harness's time-out"
        elif not res:
            self.ok, self.reason = False, "orvdrive wrote no result (exit %s)" % rc
        else:
            self.ok = bool(res[-1].get("ok")) and rc == 0
            self.reason = res[-1].get("reason", "")

    def log_text(self):
        lines = ["--- window log of %s (%.1f s, orvdrive exit %s)" % (
            self.name, self.seconds, self.orvdrive_rc)]
        for e in self.events:
            lines.append(json.dumps(e, ensure_ascii=False))
        return "\n".join(lines)

    def __repr__(self):
        return "<run %s ok=%s exit=%s reason=%r>" % (self.name, self.ok, self.exit_code, self.reason)
