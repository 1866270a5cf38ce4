#pragma once
// vdmq-print's command line: what the user asked for, as one record, and
// the usage errors that end the tool with exit code 2.
#include "app/core/paper.h"

#include <QDate>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <optional>
#include <string>

namespace vdmq::batch {

enum class Output { None, Fields, Pdf, Text, Printer, Check };

struct Options {
    QString roster;
    // The form's entries as their fields' texts (GB18030), as the run reads them.
    std::optional<std::string> start, end, docNo, issuedBy, width;
    std::optional<QDate> date;
    QString settings;
    QString passwordFile;
    bool keepGoing = false;
    bool json = false;
    std::optional<TPaper> paper;
    bool centred = false;
    std::optional<QPointF> offset;
    bool calibration = false;
    Output output = Output::None;
    int outputs = 0;
    QString target;  // file or printer name
};

// A command line the tool cannot run: said with a pointer to --help, exit 2.
struct UsageError {
    QString message;
};

// The whole command line, the program's name first; --help prints the help and ends
// the program.  Throws UsageError.
Options ParseOptions(const QStringList& args);

}  // namespace vdmq::batch
