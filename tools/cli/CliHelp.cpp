// velmora-cli's help: the program's, and each command's.
#include <string>

#include "CliArgs.h"
#include "Platform.h"

namespace velmora::cli {

std::string HelpText(Command command) {
    static const std::string kLinkHelp =
        std::string(
            "  --port P          COM port number 1..8 (its device comes from section "
            "\"Ports\",\n") +
        kDefaultDeviceHelp +
        "                    or a device path; default: \"Port\" of section \"Settings\"\n"
        "                    of Velmora.ini in the current directory, else 1. Give\n"
        "                    --port more than once for one exchange on each port at\n"
        "                    the same time; one device may be named only once\n"
        "  --timeout MS      reply time per frame; default: \"Timeout\" of Velmora.ini,\n"
        "                    else 1000\n"
        "  --early[=GAP_MS]  judge an answer as soon as it has 15 bytes and the line\n"
        "                    has been quiet for GAP_MS (default 30), or for three of\n"
        "                    its mean or two of its slowest byte spacings if longer;\n"
        "                    the timeout stays the upper bound\n"
        "  --trace           every frame sent and every run of bytes received, in hex,\n"
        "                    with the milliseconds since the start, on standard error\n"
        "  --json            the port, device, outcome, exit code, frames answered well\n"
        "                    and time taken as one JSON document on standard output\n"
        "Progress goes to standard error; the last line of standard output is the\n"
        "outcome (with --json, the document). Exit codes: 0 \"Done!\", 1 usage or file error, 2 "
        "\"Unable to open\n"
        "serial port!\", 3 \"No reply!\", 4 \"Communication error!\".\n"
        "With several ports, progress and failure lines begin with the port, standard\n"
        "output has one line \"PORT: OUTCOME\" per port in the order given, and the\n"
        "exit code is 0 when every port is done, else that of the first port, in the\n"
        "order given, that is not. One port that fails does not stop the others.\n"
        "Each exchange adds a line of JSON to the record of uploads unless \"Record\n"
        "Uploads\" of section \"Settings\" is 0; a record that cannot be written is a\n"
        "warning on standard error and changes no exit code. The record:\n" +
        std::string(kRecordFileHelp);
    static const std::string kRowsHelp =
        "  --rows calendar|period\n"
        "                    calendar (the default): row Y holds the end date in Y\n"
        "                    and the begin date in Y, in a southern zone the end of\n"
        "                    the period that began in Y-1 and the start of the next;\n"
        "                    period: row Y holds the period that ends in Y (in a\n"
        "                    southern zone it begins in Y-1)\n";
    static const std::string kJsonHelp =
        "  --json            the same as one JSON document on standard output\n";
    switch (command) {
        case Command::Show:
            return "usage: velmora-cli show FILE [--month-first] [--json]\n"
                   "Prints the fifteen rows of a .dst file as the window shows them after\n"
                   "Open, one a line: begin date, end date, then the five record bytes in\n"
                   "hex (begin day, begin month, end day, end month, year - 2000).\n"
                   "  --month-first     dates as MM/dd/yyyy instead of dd/MM/yyyy\n" +
                   kJsonHelp;
        case Command::Make:
            return "usage: velmora-cli make --zone ZONE --first-year YEAR --output FILE "
                   "[--rows calendar|period] [--force] [--json]\n"
                   "Builds fifteen rows, for the years YEAR to YEAR + 14, from the system's\n"
                   "time-zone database. A daylight-saving period begins where the zone's UTC\n"
                   "offset rises and ends where it falls again. Each date is the zone's local\n"
                   "date just after the change: a clock put forward at midnight gives that\n"
                   "day, a clock put back at midnight gives the day before (the clock shows\n"
                   "23:00 then).\n"
                   "  --zone ZONE       time-zone name, e.g. Europe/Berlin\n"
                   "  --first-year YEAR 2000..2085 (the last row is YEAR + 14)\n"
                   "  --output FILE     the .dst file to write (75 bytes)\n" +
                   kRowsHelp + "  --force           overwrite FILE if it exists\n" +
                   "  --json            the zone, years, file and rows as one JSON document on\n"
                   "                    standard output\n";
        case Command::Check:
            return "usage: velmora-cli check FILE --zone ZONE [--rows calendar|period] "
                   "[--month-first] [--json]\n"
                   "Compares every row of a .dst file with the time-zone database, for the\n"
                   "year its record holds, and prints each row that differs with what the\n"
                   "file holds and what the zone says. Exit codes: 0 every row matches,\n"
                   "5 a row differs (or the zone cannot judge it), 1 usage or file error.\n"
                   "  --zone ZONE       time-zone name, e.g. Europe/Berlin\n" +
                   kRowsHelp + "  --month-first     dates as MM/dd/yyyy instead of dd/MM/yyyy\n" +
                   kJsonHelp;
        case Command::Send:
            return "usage: velmora-cli send FILE [--port P] [--timeout MS] [--early[=GAP_MS]] "
                   "[--trace] [--json]\n"
                   "Uploads the fifteen rows of a .dst file to the device.\n" +
                   kLinkHelp;
        case Command::Delete:
            return "usage: velmora-cli delete [--port P] [--timeout MS] [--early[=GAP_MS]] "
                   "[--trace] [--json]\n"
                   "Sends the DST Delete frame to the device.\n" +
                   kLinkHelp;
        case Command::Ports:
            return std::string("usage: velmora-cli ports [--watch] [--json]\n") + kPortsListHelp +
                   "  --watch           list the serial devices present, then print a line for\n"
                   "                    each one plugged in (\"+ DEVICE\") or pulled out\n"
                   "                    (\"- DEVICE\") until interrupted (Ctrl+C), then exit 0\n" +
                   kJsonHelp +
                   "                    (with --watch: one JSON object a line, for each device\n"
                   "                    present and each change, \"event\" \"present\", "
                   "\"arrived\"\n"
                   "                    or \"departed\" with \"path\" and \"description\", and\n"
                   "                    \"event\": \"stopped\" with \"exitCode\" when "
                   "interrupted)\n";
        case Command::History:
            return std::string(
                       "usage: velmora-cli history [--port P] [--since DATE] [--json]\n"
                       "Prints the record of uploads, oldest first, one exchange a line: the\n"
                       "time (UTC), the COM port, the device, the adapter's serial number, the\n"
                       "command, the years of the table and the outcome.\n"
                       "  --port P          only the exchanges on COM port P (1..8) or on the\n"
                       "                    device path P\n"
                       "  --since DATE      only the exchanges from DATE on: YYYY-MM-DD (UTC) or\n"
                       "                    a time as the record writes it, "
                       "2026-12-09T23:40:01.123Z\n"
                       "  --json            every exchange with all its keys as one JSON document\n"
                       "                    on standard output\n"
                       "The record:\n") +
                   kRecordFileHelp;
        case Command::None:
            break;
    }
    return "usage: velmora-cli COMMAND ...\n"
           "Commands:\n"
           "  show FILE       print the rows of a .dst file\n"
           "  make ...        build a .dst file from the time-zone database\n"
           "  check FILE ...  compare a .dst file with the time-zone database\n"
           "  send FILE ...   upload a .dst file to the device\n"
           "  delete ...      send the DST Delete frame to the device\n"
           "  ports           list the serial devices and the COM port mapping\n"
           "  history         print the record of uploads\n"
           "Run velmora-cli COMMAND --help for the options of a command, and\n"
           "velmora-cli --version for the version.\n"
           "Machine-readable output:\n"
           "With --json a command prints one JSON document, on one line in UTF-8, on\n"
           "standard output. Every document has the keys \"command\", \"formatVersion\" (1)\n"
           "and \"exitCode\", then the command's own; an error that ends the command adds\n"
           "\"error\": {\"message\": ...}, also a usage error once the command and --json\n"
           "are given. Progress and messages stay on standard error; the exit codes are\n"
           "the same. ports --watch --json prints one object a line as things happen,\n"
           "each with \"command\", \"formatVersion\" and \"event\"; only the last,\n"
           "\"stopped\" when interrupted, has \"exitCode\".\n"
           "Exit codes:\n"
           "  0  done (\"Done!\" for send and delete)\n"
           "  1  usage or file error\n"
           "  2  \"Unable to open serial port!\"\n"
           "  3  \"No reply!\"\n"
           "  4  \"Communication error!\"\n"
           "  5  check: a row differs from the time zone\n"
           "With several ports, send and delete end with the code of the first port\n"
           "that is not done.\n";
}

}  // namespace velmora::cli
