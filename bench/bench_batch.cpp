// Where the time of a long batch run goes: roster open, holder creation,
// filling, page preparation, PDF pages and text export, each measured over
// the flagged rows of a roster.  End-to-end figures of vdmq-print itself
// come from scripts/bench-batch, which also runs this.
//
//   bench_batch ROSTER.xls [FIRST LAST]
#include "bench/bench_run.h"
#include "form/VdPrnUnit.h"
#include "report/core/qr.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <cstdio>
#include <vector>

using namespace vdmq;

namespace {

double ms(QElapsedTimer& t)
{
    const double v = t.nsecsElapsed() / 1e6;
    t.restart();
    return v;
}

void line(const char* what, double total, int n)
{
    std::printf("%-24s %9.1f ms  %8.3f ms/form  %8.0f forms/s\n", what, total, total / n,
                total > 0 ? n * 1000.0 / total : 0.0);
}

}  // namespace

int main(int argc, char** argv)
{
    const bench::Program program(argc, argv, "bench_batch ROSTER.xls [FIRST LAST]");
    if (!program.hasRoster)
        return program.Usage();
    bench::RosterRun run;
    run.Open(argv[1]);
    TRunFillSource& source = run.Source();

    QElapsedTimer t;
    t.start();
    std::vector<int> rows;
    for (int r = program.first; r <= program.last; ++r)
        if (col::IsPrintFlag(run.Rows().CellText(r, col::PrintFlag)))
            rows.push_back(r);
    std::printf("flag cells (%d rows)    %9.1f ms, %zu flagged\n", program.last - program.first + 1, ms(t),
                rows.size());
    const int n = int(rows.size());
    if (n == 0)
        return 1;

    double create = 0, fill = 0, prepare = 0, pdfTime = 0, textTime = 0;
    const QString dir = QDir::tempPath();
    {
        qr::TQRPdfWriter pdf(dir + "/bench_batch.pdf");
        qr::TQRAsciiExportFilter text(dir + "/bench_batch.txt");
        text.HoldUntilCommit();  // one file for the run, as vdmq-print writes it
        for (int row : rows) {
            source.SetCurRow(row);
            t.restart();
            TVdPrnForm form;
            form.Source = &source;
            create += ms(t);
            bool more = true;
            form.qrVDMQNeedData(*form.qrVDMQ, more);
            fill += ms(t);
            auto store = form.qrVDMQ->PrepareNew();
            prepare += ms(t);
            pdf.AddPage(store->Page(1));
            pdfTime += ms(t);
            qr::TQRPrinter scratch(form.qrVDMQ);
            form.qrVDMQ->Prepare(scratch, &text);
            textTime += ms(t);
        }
        t.restart();
        pdf.Finish();
        pdfTime += ms(t);
        text.Commit();
        textTime += ms(t);
    }
    line("holder creation", create, n);
    line("filler (one call)", fill, n);
    line("preparation", prepare, n);
    line("PDF page", pdfTime, n);
    line("text export (prepared)", textTime, n);
    return 0;
}
