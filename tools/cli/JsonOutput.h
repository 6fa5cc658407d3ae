// velmora-cli's documents under --json: the keys every command's document
// has, and the dates, rows and bytes as the documents write them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "CliArgs.h"
#include "DateTable.h"
#include "JsonWriter.h"

namespace velmora::cli {

// Raised when a key changes its meaning or goes away; new keys keep it.
constexpr int kJsonFormatVersion = 1;

// A document begun with "command" and "formatVersion".
json::JsonWriter BeginDocument(Command command);

// Ends `document` with "exitCode", and with "error": {"message": ...} when
// `error` is given, and prints it on standard output as one line. Returns `exitCode`.
int PrintDocument(json::JsonWriter& document, int exitCode,
                  const std::optional<std::string>& error = std::nullopt);

// The document of a command that ended with the error `message`.
int PrintErrorDocument(Command command, const std::string& message, int exitCode);

// `text`, or nothing (a null in the document) when it is empty.
std::optional<std::string_view> NullIfEmpty(const std::string& text);

// A date text of the table (dd/MM/yyyy, or MM/dd/yyyy when `order` is month
// first) as an ISO date, "2027-03-28"; empty when it is no valid date.
std::string IsoDate(std::string_view text, DateOrder order);

// One row of a table as an object: its number (1..15), "begins" and "ends" as
// ISO dates (null when a text is no valid date), the texts as shown in
// `order`, and its five-byte record in hex.
void WriteRow(json::JsonWriter& document, int index, const DstRow& row, const DstRecord& record,
              DateOrder order);

}  // namespace velmora::cli
