#include "support/Report.h"

#include <cstdio>

#include "support/RunContext.h"

namespace rovanta {

const char* ErrorTable::Lookup(std::uint32_t code) const
{
    for (const ErrorText& row : rows)
        if (row.code == code) return row.text;
    return fallback;
}

std::string FormatReport(const char* tag, std::uint32_t code, std::string_view message)
{
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(code));
    std::string text(tag);
    text += hex;
    text += ' ';
    text += message;
    return text;
}

std::string FormatReport(const ErrorTable& table, std::uint32_t code)
{
    return FormatReport(table.tag, code, table.Lookup(code));
}

void Report(RunContext& ctx, const ErrorTable& table, std::uint32_t code)
{
    ctx.Show(FormatReport(table, code));
}

void ReportOnce(RunContext& ctx, OnceFlags& flags, const OnceTable& table, std::uint32_t code)
{
    if (code == 0) {
        flags.ClearAll();
        return;
    }
    for (const OnceText& row : table.rows) {
        if (row.code != code) continue;
        if (row.flag >= 0 && !flags.TryTake(row.flag)) return;
        ctx.Show(FormatReport(table.tag, code, row.text));
        return;
    }
    ctx.Show(FormatReport(table.tag, code, table.fallback));
}

namespace {
constexpr ErrorText kGeneralRows[] = {
    {0x01000002, "Needs more memory!"},
    {0x01000004, "Quit and restart!"},
    {0x01000005, "Cant find file!"},
    {0x01000006, "16 digit error"},
    {0x01000007, "Cant open file!"},
    {0x0100000A, "data size is too large!"},
    {0x0100000B, "parameter is wrong"},
    {0x0100000C, "Can not get current directory"},
    {0x0100000D, "file size error!"},
    {0x0100000E, "Time sign is invalid!"},
    // A read or write that fails after the file was opened.
    {0x0100000F, "Cant read file!"},
    {0x01000010, "Cant write file!"},
};
}  // namespace

const ErrorTable kGeneralErrors{"GENE", kGeneralRows, "General Error"};

void ReportGeneralError(RunContext& ctx, std::uint32_t code)
{
    Report(ctx, kGeneralErrors, code);
}

}  // namespace rovanta
