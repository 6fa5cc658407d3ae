# Turns a program's --help text into manual page markup: lines that start
# with two spaces and hold a term, two spaces and a description become tagged
# paragraphs ("--port P  COM port..."), deeper indented lines continue them,
# and other lines are running text. Option names are set in bold.

function esc(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    if (s ~ /^[.']/) s = "\\&" s
    return s
}

function term(s,    name) {
    if (s !~ /^-/) return esc(s)
    match(s, /^-[-A-Za-z0-9]*/)
    name = substr(s, 1, RLENGTH)
    return "\\fB" esc(name) "\\fR" esc(substr(s, RLENGTH + 1))
}

/^$/ { print ".PP"; inItem = 0; next }

/^    / && inItem { sub(/^ +/, ""); print esc($0); next }

# The term ends at two spaces; without them (a long term), an option's term
# is its name and a following upper-case value name ("--first-year YEAR").
/^  [^ ]/ {
    line = substr($0, 3)
    if (match(line, /  +/)) {
        name = substr(line, 1, RSTART - 1)
        text = substr(line, RSTART + RLENGTH)
    } else if (match(line, /^-[^ ]* [A-Z_=|[\]]+ /)) {
        name = substr(line, 1, RLENGTH - 1)
        text = substr(line, RLENGTH + 1)
    } else {
        name = line
        text = ""
    }
    print ".TP"
    print term(name)
    if (text != "") print esc(text)
    inItem = 1
    next
}

{
    if (inItem) print ".PP"
    inItem = 0
    print esc($0)
}
