// Draws the declaration form with its design captions, as the engine
// prepares it for printing, into a PDF and a PNG.  For the documentation:
//
//     vdmq-form-design OUT.pdf OUT.png [DPI]      (DPI of the PNG, default 150)
//
// The page starts at the 1.5/1.8 mm margins that the filler sets; the
// captions stay the layout's placeholders.
#include "form/VdPrnUnit.h"
#include "report/core/qr.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUT.pdf OUT.png [DPI]\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString pdfPath = QString::fromLocal8Bit(argv[1]);
    const QString pngPath = QString::fromLocal8Bit(argv[2]);
    const double dpi = argc == 4 ? QString::fromLocal8Bit(argv[3]).toDouble() : 150;
    if (!(dpi >= 10 && dpi <= 1200)) {
        std::fprintf(stderr, "%s: DPI must be between 10 and 1200\n", argv[0]);
        return 2;
    }
    try {
        vdmq::TApprovalForm form;
        // Only the margins of a fill, in tenths of a millimetre while preparing.
        form.Report->OnNeedData = [](qr::TCustomQuickRep& report, bool&) {
            report.Page.SetValue(qr::TQRPage::LeftMargin, 15);
            report.Page.SetValue(qr::TQRPage::TopMargin, 18);
        };
        const std::shared_ptr<qr::TQRPrinter> store = form.Report->PrepareNew();
        if (store->PageCount() != 1) {
            std::fprintf(stderr, "%s: expected one page, got %d\n", argv[0], store->PageCount());
            return 1;
        }
        const qr::QRPageImage& page = store->Page(1);

        qr::TQRPdfWriter pdf(pdfPath, QStringLiteral("国家机关事业单位工作人员工资变动审批表"));
        pdf.AddPage(page);
        pdf.Finish();

        const double pixelsPerTenth = dpi / 254.0;
        QImage image(int(std::lround(page.width * pixelsPerTenth)), int(std::lround(page.length * pixelsPerTenth)),
                     QImage::Format_RGB32);
        image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
        image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            qr::RenderPage(painter, page, pixelsPerTenth);
        }
        if (!image.save(pngPath, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
            return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
        return 1;
    }
    return 0;
}
