// Report engine benchmark: one-page forms of 57 rules and 121 labels
// (the declaration form's make-up), prepared into the page store, through
// the text export and into one PDF; one page painted at 100 %; peak memory
// for 100 and for 1,000 reports.
//
//   bench_report            runs everything (1,000 reports, and a child
//                           process each for the 100 / 1,000 peak RSS)
//   bench_report --rss N    prepares N reports through every output and
//                           prints its peak RSS
#include "report/core/qr.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

struct Form {
    std::unique_ptr<qr::TQuickRep> rep;
    std::vector<qr::TQRLabel*> data;
    int record = 0;
};

// 57 rules, 121 labels: 1 title, 88 fixed texts, 32 data labels.
Form makeForm()
{
    Form f;
    f.rep = std::make_unique<qr::TQuickRep>();
    qr::TQuickRep& r = *f.rep;
    r.Page.SetValue(qr::TQRPage::Width, 182);
    r.Page.SetValue(qr::TQRPage::Length, 257);
    qr::TQRBand* title = r.AddBand("TitleBand1", qr::rbPageHeader, 51 * 25.4 / 96);
    qr::TQRBand* body = r.AddBand("ColumnHeaderBand1", qr::rbColumnHeader, 222.25);
    qr::TQRLabel* t = title->AddLabel("Lb1", 2.12, 4.23, 156.9, 6.09, 1);
    t->Caption = QStringLiteral("国家机关事业单位工作人员工资变动审批表");
    t->Alignment = qr::taCenter;
    t->Font = {QStringLiteral("Arial"), 16, true, false, true};
    int order = 1;
    for (int i = 0; i < 30; ++i)
        body->AddShape("h" + std::to_string(i), 2.12, i * 6.88, 156.9, 0.26, order++);
    for (int i = 0; i < 27; ++i)
        body->AddShape("v" + std::to_string(i), 2.12 + i * 5.8, 0, 0.26, 150, order++);
    const char* fixed[] = {"姓  名",   "性    别", "出生年月",        "参加工作时间", "金  额",  "合      计",
                           "岗位工资", "薪级工资", "10%工资(或补贴)", "试用期工资",   "现任职务"};
    for (int i = 0; i < 88; ++i) {
        const int row = i / 8, column = i % 8;
        qr::TQRLabel* l = body->AddLabel("f" + std::to_string(i), 4 + column * 19, 1.5 + row * 6.88, 14, 4.5, order++);
        l->Caption = QString::fromUtf8(fixed[i % 11]);
        l->AutoSize = true;
        l->Font.Size = i % 5 == 0 ? 9 : 10;
    }
    for (int i = 0; i < 32; ++i) {
        const int row = i / 4, column = i % 4;
        qr::TQRLabel* l = body->AddLabel("d" + std::to_string(i), 10 + column * 38, 80 + row * 6.88, 30, 3.7, order++);
        l->Font.Size = 10;
        l->Alignment = i % 3 == 0 ? qr::taRightJustify : qr::taLeftJustify;
        l->AutoSize = i >= 28;
        f.data.push_back(l);
    }
    qr::TQRLabel* big = f.data.back();
    big->Font = {QStringLiteral("黑体"), 32, true};
    Form* self = &f;
    (void)self;
    return f;
}

void wireFiller(Form& f)
{
    f.rep->OnNeedData = [&f](qr::TCustomQuickRep& rep, bool&) {
        rep.Page.SetValue(qr::TQRPage::LeftMargin, 15);
        rep.Page.SetValue(qr::TQRPage::TopMargin, 18);
        const int n = f.record;
        for (std::size_t i = 0; i < f.data.size(); ++i) {
            if (i % 3 == 0)
                f.data[i]->Caption = QString::number(1000 + (n * 7 + int(i)) % 3000) + ".00";
            else if (i % 3 == 1)
                f.data[i]->Caption = QStringLiteral("张三%1").arg(n % 100);
            else
                f.data[i]->Caption = QStringLiteral("2009年0%1月").arg(1 + n % 9);
        }
    };
}

long peakRssKb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

struct Rates {
    double store = 0, text = 0, pdf = 0;           // pages per second of wall time
    double storeCpu = 0, textCpu = 0, pdfCpu = 0;  // per second of this process's CPU time
};

// CPU time of this process: on a shared machine the wall clock also counts
// the other processes' turns.
double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

Rates runAll(int reports, const QString& dir)
{
    Rates r;
    Form f = makeForm();
    wireFiller(f);
    QElapsedTimer t;

    t.start();
    double c0 = cpuSeconds();
    for (f.record = 0; f.record < reports; ++f.record) {
        auto store = f.rep->PrepareNew();
        if (store->PageCount() != 1)
            std::fprintf(stderr, "unexpected page count\n");
    }
    r.store = reports / (t.nsecsElapsed() / 1e9);
    r.storeCpu = reports / (cpuSeconds() - c0);

    {
        qr::TQRAsciiExportFilter filter(dir + "/bench.txt");
        filter.HoldUntilCommit();  // one file for all, as vdmq-print writes a run
        t.restart();
        c0 = cpuSeconds();
        for (f.record = 0; f.record < reports; ++f.record) {
            qr::TQRPrinter store(f.rep.get());
            f.rep->Prepare(store, &filter);
        }
        filter.Commit();
        r.text = reports / (t.nsecsElapsed() / 1e9);
        r.textCpu = reports / (cpuSeconds() - c0);
    }

    {
        t.restart();
        c0 = cpuSeconds();
        qr::TQRPdfWriter pdf(dir + "/bench.pdf");
        for (f.record = 0; f.record < reports; ++f.record) {
            auto store = f.rep->PrepareNew();
            pdf.AddPage(store->Page(1));
        }
        pdf.Finish();
        r.pdf = reports / (t.nsecsElapsed() / 1e9);
        r.pdfCpu = reports / (cpuSeconds() - c0);
    }
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const QStringList args = app.arguments();
    if (args.size() >= 3 && args[1] == "--rss") {
        const int n = args[2].toInt();
        runAll(n, dir.path());
        std::printf("%ld\n", peakRssKb());
        return 0;
    }

    const int reports = 1000;
    const Rates r = runAll(reports, dir.path());
    std::printf("reports: %d one-page forms, 57 rules + 121 labels each\n", reports);
    std::printf("                 wall     cpu   pages/s\n");
    std::printf("page store:   %7.0f %7.0f   (target >= 5000)\n", r.store, r.storeCpu);
    std::printf("text export:  %7.0f %7.0f   (target >= 5000)\n", r.text, r.textCpu);
    std::printf("PDF:          %7.0f %7.0f   (target >= 500), file %lld bytes\n", r.pdf, r.pdfCpu,
                QFile(dir.path() + "/bench.pdf").size());

    Form f = makeForm();
    wireFiller(f);
    auto store = f.rep->PrepareNew();
    const qr::QRPageImage& page = store->Page(1);
    QImage img(int(page.width * 96 / 254) + 1, int(page.length * 96 / 254) + 1, QImage::Format_ARGB32_Premultiplied);
    double worst = 0, total = 0;
    const int renders = 50;
    for (int i = 0; i <= renders; ++i) {
        QElapsedTimer t;
        t.start();
        img.fill(Qt::gray);
        QPainter p(&img);
        qr::RenderPage(p, page, 96.0 / 254.0);
        p.end();
        const double ms = t.nsecsElapsed() / 1e6;
        if (i == 0) {
            std::printf("render 100 %%: first %.2f ms (glyph caches cold)\n", ms);
            continue;
        }
        total += ms;
        worst = std::max(worst, ms);
    }
    std::printf("render 100 %%: %.2f ms mean, %.2f ms worst  (target < 20 ms, %dx%d px)\n", total / renders, worst,
                img.width(), img.height());

    for (int n : {100, 1000}) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--rss", QString::number(n)});
        child.waitForFinished(-1);
        std::printf("peak RSS, %4d reports through store, text and PDF: %s kB\n", n,
                    child.readAllStandardOutput().trimmed().constData());
    }
    return 0;
}
