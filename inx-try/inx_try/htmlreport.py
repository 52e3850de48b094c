"""report.html: one try to look at. The boxes as the pictures saved beside
it, then inx-check's plan beside what the try saw, item by item, then what
the uninstallation left. One file with its style inside, no script."""

from html import escape
from typing import Optional

STYLE = """
body { font: 15px/1.45 sans-serif; margin: 2em auto; padding: 0 1em; max-width: 70em; color: #222; }
h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 2em; }
.verdict { padding: .5em 1em; border-radius: .3em; display: inline-block; }
.ok { background: #dfd; } .failed { background: #fdd; }
figure { display: inline-block; margin: 0 1.5em 1.5em 0; vertical-align: top; }
figure img { border: 1px solid #999; max-width: 100%; }
table { border-collapse: collapse; width: 100%; margin-bottom: 1em; }
th, td { text-align: left; padding: .25em .6em; border-bottom: 1px solid #ddd;
         font-family: monospace; font-size: 13px; word-break: break-all; }
th { font-family: sans-serif; background: #f3f3f3; }
td.state { font-family: sans-serif; white-space: nowrap; word-break: normal; }
tr.both td.state { color: #161; } tr.planned td.state, tr.seen td.state { color: #a11; }
"""

STATES = (("both", "both", "planned and seen"), ("planned_only", "planned", "planned, not seen"),
          ("seen_only", "seen", "seen, not planned"))


def boxes_html(boxes: list) -> str:
    if not boxes:
        return "<p>No box was shown.</p>\n"
    parts = []
    for box in boxes:
        caption = (f"<b>{escape(box['title'])}</b>: {escape(box['text'])} "
                   f"[{escape(' | '.join(box['buttons']))}]")
        parts.append(f'<figure><img src="{escape(box["picture"])}" alt="{escape(box["title"])}">'
                     f"<figcaption>{caption}</figcaption></figure>")
    return "\n".join(parts) + "\n"


def sides_html(sides: dict) -> str:
    rows = []
    for kind, found in sides.items():
        for field, css, label in STATES:
            rows += [f'<tr class="{css}"><td>{escape(kind)}</td><td class="state">{label}</td>'
                     f"<td>{escape(item)}</td></tr>" for item in found[field]]
    if not rows:
        return "<p>Nothing, planned or seen.</p>\n"
    return ("<table>\n<tr><th>Kind</th><th>State</th><th>Item</th></tr>\n"
            + "\n".join(rows) + "\n</table>\n")


def report_html(report: dict, package: str, folder: str, plan_result: Optional[dict]) -> str:
    verdict = report["verdict"]
    ok = verdict == "OK"
    body = [f"<h1>inx-try: {escape(package)}</h1>",
            f"<p>The application's folder: <code>{escape(folder)}</code>, on "
            f"{report.get('windows', 32)}-bit Windows</p>",
            f'<p class="verdict {"ok" if ok else "failed"}">'
            f"{'OK' if ok else 'FAILED: ' + escape(verdict)}</p>",
            "<h2>Message boxes</h2>", boxes_html(report["boxes"])]
    if plan_result is None:
        body.append("<h2>The plan beside what was seen</h2>\n<p>None: install.inf was not "
                    "written, or inx-check made no plan (see <code>logs/</code>).</p>")
    else:
        body.append("<h2>The installation: inx-check's plan beside what was seen</h2>")
        body.append(sides_html(plan_result.get("install", {})))
        if "left behind" in plan_result:
            body.append("<h2>What the uninstallation left</h2>")
            body.append(sides_html(plan_result["left behind"]))
    if report.get("left_behind") is None:
        body.append("<p>The try did not uninstall.</p>")
    return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
            f"<title>inx-try: {escape(package)}</title>\n<style>{STYLE}</style>\n</head>\n"
            "<body>\n" + "\n".join(body) + "\n</body>\n</html>\n")
