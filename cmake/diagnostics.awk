# Turns the table under "## When it goes wrong" in README.md (message, cause,
# what to do) into what the programs and the manual pages show, so that the
# table is the one list of messages and their advice:
#   -v format=cpp   tavrek-cli's advice, a C++ header
#   -v format=scd   the DIAGNOSTICS of the window's manual page (scdoc)
#   -v format=roff  the DIAGNOSTICS of tavrek-cli's manual page (help2man --include)
# A row whose message cell ends in "(tavrek-cli)", "(page)", "(window, page)"
# and the like belongs to those programs; a row without one to all three.
# Cells hold no "|"; inline code and links are shown as plain text.

BEGIN {
    FS = "|"
    program = format == "scd" ? "window" : "tavrek-cli"
    if (format == "cpp") {
        print "#pragma once"
        print ""
        print "// Made by cmake/diagnostics.awk from README.md's table \"When it goes wrong\": edit it there."
        print ""
        print "#include <string_view>"
        print ""
        print "namespace tavrek {"
        print ""
        print "struct Diagnostic {"
        print "    std::string_view message;"
        print "    std::string_view advice;  // what to do, in lower case, without a full stop"
        print "};"
        print ""
        print "inline constexpr Diagnostic kDiagnostics[] = {"
    } else if (format == "roff") {
        print "[DIAGNOSTICS]"
    }
}

/^## / { inside = $0 == "## When it goes wrong"; next }
!inside || !/^\| `/ { next }

{
    if (!match($2, /`[^`]*`/)) {
        print "README.md: a row of \"When it goes wrong\" without its `message`: " $0 > "/dev/stderr"
        exit 1
    }
    message = substr($2, RSTART + 1, RLENGTH - 2)
    where = substr($2, RSTART + RLENGTH)
    if (where ~ /\(/ && index(where, program) == 0)
        next
    cause = plain($3)
    advice = plain($4)
    if (format == "cpp")
        printf "    {\"%s\", \"%s\"},\n", quoted(message), quoted(advice)
    else if (format == "scd")
        printf "*%s*\n\t%s %s.\n\n", scdoc(message), scdoc(cause), scdoc(capitalised(advice))
    else
        printf ".TP\n.B %s\n%s %s.\n", roff(message), roff(cause), roff(capitalised(advice))
}

END {
    if (format == "cpp") {
        print "};"
        print ""
        print "// The advice for `message`: a message that the table lacks does not compile."
        print "consteval std::string_view adviceFor(std::string_view message)"
        print "{"
        print "    for (const Diagnostic& diagnostic : kDiagnostics)"
        print "        if (diagnostic.message == message)"
        print "            return diagnostic.advice;"
        print "    throw \"README.md's table \\\"When it goes wrong\\\" has no row for this message\";"
        print "}"
        print ""
        print "} // namespace tavrek"
    }
}

# The cell's text as a reader sees it: no code marks, emphasis or link targets.
function plain(text,    out, link) {
    gsub(/`|\*\*/, "", text)
    while (match(text, /\[[^]]*\]\([^)]*\)/)) {
        link = substr(text, RSTART + 1, RLENGTH - 1)
        sub(/\]\(.*/, "", link)
        out = out substr(text, 1, RSTART - 1) link
        text = substr(text, RSTART + RLENGTH)
    }
    text = out text
    gsub(/^ +| +$/, "", text)
    return text
}

function capitalised(text) {
    return toupper(substr(text, 1, 1)) substr(text, 2)
}

function quoted(text) {
    gsub(/\\/, "\\\\", text)
    gsub(/"/, "\\\"", text)
    return text
}

function scdoc(text) {
    gsub(/\\/, "\\\\", text)
    gsub(/\*/, "\\*", text)
    gsub(/_/, "\\_", text)
    return text
}

function roff(text) {
    gsub(/\\/, "\\e", text)
    gsub(/-/, "\\-", text)
    if (text ~ /^[.']/)
        text = "\\&" text
    return text
}
