#pragma once
// Shared by the export tests: the real readers in tests/peers/list_exports.py
// and a catalogue-like list to export.
#include "common/TestUtil.h"
#include "controls/EnhListV.h"
#include "platform/Cp1252.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace exportpeer {

inline std::string shellQuote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

// Runs a reader of list_exports.py and returns what it printed as JSON.
inline QJsonObject read(const std::string &cmd, const std::string &file, const std::string &extra = std::string())
{
    std::string out;
    const std::string args = cmd + " " + shellQuote(file) + (extra.empty() ? "" : " " + shellQuote(extra));
    const int rc = testutil::runPython(testutil::sourcePath("tests/peers/list_exports.py"), args, &out);
    EXPECT_EQ(rc, 0) << "reader " << cmd << " failed on " << file;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(out), &err);
    EXPECT_EQ(err.error, QJsonParseError::NoError) << out;
    return doc.object();
}

// What the reader gives back for a cell of Windows-1252 bytes.
inline QString u(const std::string &ansi) { return FromAnsi(ansi); }

struct Row {
    std::string caption;
    std::vector<std::string> subs;
};

// The catalogue's columns: artist, title, tracks (centred), the hidden PID
// column (width 0, centred), and a right-aligned length column.
inline std::unique_ptr<TEnhListView> catalogueList(const std::vector<Row> &rows)
{
    auto list = std::make_unique<TEnhListView>();
    list->Columns.Add("ARTIST NAME", 292);
    list->Columns.Add("CD TITLE", 298);
    list->Columns.Add("TRACKS", 68, taCenter);
    list->Columns.Add("PIDS", 0, taCenter);
    list->Columns.Add("LENGTH", 60, taRightJustify);
    list->BeginUpdate();
    for (const Row &r : rows) {
        TListItem *it = list->Items.Add();
        it->SetCaption(r.caption);
        for (const std::string &s : r.subs) it->SubItems.Add(s);
    }
    list->EndUpdate();
    return list;
}

// Rows with accented letters (Windows-1252 bytes), identifiers with leading
// zeros, markup characters and a row shorter than the columns.
inline std::vector<Row> sampleRows()
{
    return {
        {"Bj\xF6rk", {"D\xE9" "but", "11", "007", "48:10"}},
        {"Tom & Jerry <live>", {"Caf\xE9 \"Noir\"", "9", "0042", "5:00"}},
        {"Solo", {"Only title"}},
    };
}

} // namespace exportpeer
