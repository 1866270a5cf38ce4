#pragma once
// The forms of a whole run in one PDF file, one page each: what 导出PDF and
// vdmq-print --pdf write.  The file is begun with the first form and put in
// place only by Finish, so a run that gives no form writes nothing.
#include "form/VdPrnUnit.h"
#include "report/core/qr.h"

#include <QString>
#include <memory>

namespace vdmq {

class TRunPdf {
public:
    // Each page goes on the sheet of `placement`.
    TRunPdf(QString fileName, const qr::TQRPlacement& placement);
    ~TRunPdf();
    TRunPdf(const TRunPdf&) = delete;
    TRunPdf& operator=(const TRunPdf&) = delete;

    // Prepares the form and adds its pages.  Throws qr::EInOutError when the
    // file cannot be written.
    void Add(TVdPrnForm& form);
    // Whether a form has been added.
    bool Begun() const { return writer_ != nullptr; }
    // Puts the file in place (nothing when no form was added); throws
    // qr::EInOutError.
    void Finish();
    // Drops what was written; a file that was there before stays.
    void Discard();
    const QString& FileName() const { return fileName_; }

private:
    QString fileName_;
    qr::TQRPlacement placement_;
    std::unique_ptr<qr::TQRPdfWriter> writer_;
};

}  // namespace vdmq
