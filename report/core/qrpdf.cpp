// PDF output: the display lists of any number of pages in one document.
#include "report/core/qr.h"
#include "report/core/qrpdffix.h"
#include "report/core/qrrender.h"

#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <malloc.h>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <zlib.h>

namespace qr {

namespace {
constexpr int kPdfDpi = 1200;

// Each PDF page compresses its content through a fresh zlib stream (a few
// hundred kilobytes) between two buffers of 16 MB that Qt allocates and
// frees for every page.  The C library maps blocks that large on their own
// and unmaps them when freed, and hands free heap beyond its trim threshold
// back to the system: every page mapped and faulted its buffers in again (a
// 16 MB threshold missed Qt's buffers by their header).  So blocks up to
// 32 MB, the most the library allows, come from the heap, and 40 MB of free
// heap stay with the process, enough for both buffers: under a third of the
// page faults in a 1,500-form run, for about 7 MB more resident memory
// (bounded by those 40 MB, whatever the number of forms).  The threshold
// holds for each of the library's heaps, and a thread of its own gets a
// heap of its own: the writer's second thread kept up to 40 MB more, more
// the more forms (110 MB at 1,500 varied forms, 75 MB at 150).  One heap
// for the whole process keeps the peak flat (91 MB and 73 MB) for the same
// processor time: the small blocks come from each thread's own cache.
void keepHeapForPdfPages()
{
    static const bool done = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 40 << 20);
        mallopt(M_TOP_PAD, 1 << 20);
        mallopt(M_ARENA_MAX, 1);
        return true;
    }();
    (void)done;
}

// Qt compresses each page of a PDF at zlib's default level and offers no
// setting for it.  For the form's pages (about 46 KB of drawing commands)
// level 3 takes two fifths of the time of the default for streams a sixth
// larger: 0.35 s less in a 1,500-form run, 15 % more bytes.  The pages are
// written by newPage() and, for the last one and the fonts, by end(): while
// a writer of ours is in either on this thread, the deflateInit_ below asks
// for level 3.
thread_local int writingPdfPages = 0;
constexpr int kPdfPageCompression = 3;

struct WritingPdfPages {
    WritingPdfPages() { ++writingPdfPages; }
    ~WritingPdfPages() { --writingPdfPages; }
    WritingPdfPages(const WritingPdfPages&) = delete;
    WritingPdfPages& operator=(const WritingPdfPages&) = delete;
};

std::atomic<detail::PdfSecondThread> secondThreadUse{detail::PdfSecondThread::Auto};

// Where QPdfWriter's bytes go: through the text-map mending into the
// atomic file.  QPdfWriter does not look at the results of its writes, so
// the device keeps the first failure for Finish to report.
class AtomicPdfDevice : public QIODevice {
public:
    explicit AtomicPdfDevice(vdmq::TAtomicFile& file)
        : file(file), mend([this](const char* d, qsizetype n) { return this->file.Write(d, std::size_t(n)); }, &glyphs)
    {
    }
    bool isSequential() const override { return true; }
    vdmq::TAtomicFile& file;
    detail::PdfGlyphLog glyphs;  // what the glyphs of the pages stand for: the text maps
    detail::PdfTextMapFilter mend;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (file.Failed() || !mend.Write(data, qsizetype(size)))
            return -1;
        return size;
    }
};

struct Failure {
    QString what, reason;
};

// One PDF document and the thread that draws it: Qt's writer, its painter
// and the fonts the pages are drawn with (the measured fonts are the
// thread's own) are made, used and destroyed by that thread alone.
struct PdfDocument {
    explicit PdfDocument(const QString& fileName) : file(fileName) {}
    vdmq::TAtomicFile file;
    std::unique_ptr<AtomicPdfDevice> device;
    std::unique_ptr<QPdfWriter> writer;
    QPainter painter;
    int pages = 0;

    std::optional<Failure> Open(const QString& title)
    {
        if (!file.Open())
            return Failure{QStringLiteral("无法创建文件"), file.ErrorText()};
        device = std::make_unique<AtomicPdfDevice>(file);
        device->open(QIODevice::WriteOnly);
        writer = std::make_unique<QPdfWriter>(device.get());
        writer->setResolution(kPdfDpi);
        writer->setCreator(QStringLiteral("vdmq"));
        if (!title.isEmpty())
            writer->setTitle(title);
        writer->setPageMargins(QMarginsF(0, 0, 0, 0));
        return std::nullopt;
    }

    std::optional<Failure> Add(const QRPageImage& page, const TQRPlacement& placement)
    {
        const WritingPdfPages writing;
        const QPageSize size(SheetSizeMm(page, placement), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
        writer->setPageSize(size);
        writer->setPageMargins(QMarginsF(0, 0, 0, 0));
        if (pages == 0) {
            if (!painter.begin(writer.get()))
                return Failure{QStringLiteral("无法创建文件"), QStringLiteral("PDF 无法开始")};
        } else if (!writer->newPage()) {
            return Failure{QStringLiteral("无法写入文件"), QStringLiteral("无法添加一页")};
        }
        ++pages;
        detail::RenderOptions opt;
        opt.pixelsPerTenth = kPdfDpi / 254.0;
        opt.penPixel = kPdfDpi / 96.0;
        opt.snap = false;
        opt.offset = placement.ShiftMm * (kPdfDpi / 25.4);
        opt.glyphLog = &device->glyphs;
        detail::renderPage(painter, page, opt);
        // A disk that filled up ends the document at once, not after every
        // further page has been drawn for nothing.
        if (file.Failed())
            return Failure{QStringLiteral("无法写入文件"), file.ErrorText()};
        return std::nullopt;
    }

    // Completes the document in the file (still a temporary); false when
    // Qt could not end it.
    bool End()
    {
        const WritingPdfPages writing;
        const bool ended = painter.end();
        writer.reset();
        device->mend.Finish();
        device->close();
        return ended;
    }

    // Lets go of Qt's objects; the file stays.
    void Release()
    {
        if (painter.isActive())
            painter.end();
        writer.reset();
        device.reset();
    }
};

// The pages a second thread draws into a document of its own, which
// Finish joins to the first.  Qt's PDF engine draws one page on one
// thread; a 1,500-form run spends two thirds of its time there, so two
// threads, each with its own writer and fonts, share the pages.  The
// queue holds a few pages: the first thread draws a page itself whenever
// the second is that far behind, and the memory stays the same for any
// number of forms.
class SecondThread {
public:
    SecondThread(const QString& fileName, QString title) : doc_(fileName), title_(std::move(title))
    {
        thread_ = std::thread([this] { run(); });
    }
    ~SecondThread() { Stop(true); }
    SecondThread(const SecondThread&) = delete;
    SecondThread& operator=(const SecondThread&) = delete;

    // Queues a copy of the page unless `kQueued` pages are waiting
    // already (with `wait`: until one is taken).  False when it is not
    // queued, the thread having failed or being behind.
    bool Offer(const QRPageImage& page, const TQRPlacement& placement, bool wait)
    {
        std::unique_lock lock(m_);
        if (wait)
            cv_.wait(lock, [this] { return failure_ || queue_.size() < kQueued; });
        if (failure_ || queue_.size() >= kQueued)
            return false;
        queue_.emplace_back(page, placement);
        lock.unlock();
        cv_.notify_all();
        return true;
    }

    std::optional<Failure> Failed()
    {
        const std::lock_guard lock(m_);
        return failure_;
    }

    // Ends the document after the queued pages (`abort`: drops it) and
    // waits for the thread.  Afterwards Document() belongs to the caller.
    std::optional<Failure> Stop(bool abort)
    {
        {
            const std::lock_guard lock(m_);
            if (stop_ == Stopping::No)
                stop_ = abort ? Stopping::Abort : Stopping::Finish;
        }
        cv_.notify_all();
        if (thread_.joinable())
            thread_.join();
        return failure_;
    }

    PdfDocument& Document() { return doc_; }

private:
    static constexpr std::size_t kQueued = 2;
    enum class Stopping { No, Finish, Abort };

    void fail(const Failure& f)
    {
        {
            const std::lock_guard lock(m_);
            if (!failure_)
                failure_ = f;
        }
        cv_.notify_all();
    }

    void run()
    {
        if (auto f = doc_.Open(title_))
            fail(*f);
        bool finish = false;
        for (;;) {
            std::unique_lock lock(m_);
            cv_.wait(lock, [this] { return !queue_.empty() || stop_ != Stopping::No || failure_; });
            if (failure_ || stop_ == Stopping::Abort || queue_.empty()) {
                finish = !failure_ && stop_ == Stopping::Finish;
                break;
            }
            const auto [page, placement] = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            cv_.notify_all();
            std::optional<Failure> f;
            try {
                f = doc_.Add(page, placement);
            } catch (const std::exception& e) {
                f = Failure{QStringLiteral("无法写入文件"), QString::fromUtf8(e.what())};
            }
            if (f) {
                fail(*f);
                break;
            }
        }
        if (finish && doc_.pages > 0 && (!doc_.End() || doc_.file.Failed()))
            fail(doc_.file.Failed() ? Failure{QStringLiteral("无法写入文件"), doc_.file.ErrorText()}
                                    : Failure{QStringLiteral("无法写入文件"), QStringLiteral("PDF 没有写完整")});
        doc_.Release();
        if (!finish || failure_)
            doc_.file.Discard();
    }

    PdfDocument doc_;
    const QString title_;
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::pair<QRPageImage, TQRPlacement>> queue_;
    Stopping stop_ = Stopping::No;
    std::optional<Failure> failure_;
    std::thread thread_;
};
}  // namespace

namespace detail {
void setPdfSecondThread(PdfSecondThread use) { secondThreadUse = use; }
}  // namespace detail

struct TQRPdfWriter::Impl {
    QString fileName;
    QString title;
    std::unique_ptr<PdfDocument> doc;      // drawn on the caller's thread
    std::unique_ptr<SecondThread> second;  // pages drawn on a thread of their own
    std::vector<bool> fromSecond;          // for each page, whether the second thread has it
    // A second document is a temporary beside the first; a file written in
    // place (a pipe, a device) takes none.
    bool twoDocuments = false;
    bool finished = false;
    int unwinding = 0;    // exceptions in flight when the writer was made
    std::string failure;  // the error that ended the document, said again by Finish

    [[noreturn]] void fail(const Failure& f)
    {
        failure = QStringLiteral("%1“%2”：%3").arg(f.what, fileName, f.reason).toStdString();
        throw EInOutError(failure);
    }
    void discard()
    {
        finished = true;
        if (second)
            second->Stop(true);
        doc->Release();
        doc->file.Discard();
    }
    // Whether the next page goes to the second thread (started here).
    bool toSecond(const QRPageImage& page, const TQRPlacement& placement)
    {
        const detail::PdfSecondThread use = secondThreadUse;
        // The first page begins the document here.
        if (use == detail::PdfSecondThread::Never || fromSecond.empty() || !twoDocuments)
            return false;
        // On one processor the two threads would only take turns, at the
        // cost of the second set of fonts.
        static const bool oneProcessor = QThread::idealThreadCount() < 2;
        if (use == detail::PdfSecondThread::Auto && oneProcessor)
            return false;
        if (use == detail::PdfSecondThread::EveryOther && fromSecond.size() % 2 == 0)
            return false;
        if (!second) {
            try {
                second = std::make_unique<SecondThread>(fileName, title);
            } catch (const std::system_error&) {
                // No thread to be had: the pages are drawn here.
                twoDocuments = false;
                return false;
            }
        }
        if (auto f = second->Failed()) {
            discard();
            fail(*f);
        }
        return second->Offer(page, placement, use == detail::PdfSecondThread::EveryOther);
    }
};

TQRPdfWriter::TQRPdfWriter(const QString& fileName, const QString& title) : d_(std::make_unique<Impl>())
{
    keepHeapForPdfPages();
    d_->fileName = fileName;
    d_->title = title;
    d_->unwinding = std::uncaught_exceptions();
    // The pages go to a temporary file beside the target, which replaces
    // it only once the document is complete: a failed run, a full disk or
    // a second run writing the same file never leave a broken PDF, and the
    // file that stood there before stays until the new one is whole.
    d_->doc = std::make_unique<PdfDocument>(fileName);
    if (auto f = d_->doc->Open(title))
        d_->fail(*f);
    const QString working = d_->doc->file.WorkingPath();
    d_->twoDocuments = working != d_->doc->file.Target() && QFileInfo(working).isFile();
}

TQRPdfWriter::~TQRPdfWriter()
{
    if (d_->finished)
        return;
    // Left by an exception: nothing half-written reaches the target.
    // Otherwise the document is completed as Finish would, for callers
    // that let the writer go out of scope (a failure then leaves the
    // earlier file as it was).
    if (std::uncaught_exceptions() > d_->unwinding) {
        d_->discard();
        return;
    }
    try {
        Finish();
    } catch (...) {
    }
}

void TQRPdfWriter::AddPage(const QRPageImage& page, const TQRPlacement& placement)
{
    if (d_->finished)
        d_->fail({QStringLiteral("无法写入文件"), QStringLiteral("文档已经结束")});
    if (d_->toSecond(page, placement)) {
        d_->fromSecond.push_back(true);
        return;
    }
    if (auto f = d_->doc->Add(page, placement)) {
        d_->discard();
        d_->fail(*f);
    }
    d_->fromSecond.push_back(false);
}

void TQRPdfWriter::Finish()
{
    // A document that failed stays failed: a caller that goes on to
    // Finish after a page could not be written is told again.
    if (!d_->failure.empty())
        throw EInOutError(d_->failure);
    if (d_->finished)
        return;
    d_->finished = true;
    PdfDocument& doc = *d_->doc;
    vdmq::TAtomicFile& file = doc.file;
    if (doc.pages == 0) {
        // No page, no document: whatever stood at the path stays.
        doc.Release();
        file.Discard();
        return;
    }
    bool ended = doc.End();
    doc.Release();
    std::optional<Failure> secondFailure;
    if (d_->second) {
        // Both documents end at once: the second thread embeds its fonts
        // while this one embeds the first's.
        secondFailure = d_->second->Stop(false);
        PdfDocument& other = d_->second->Document();
        if (!secondFailure && ended && !file.Failed() && other.pages > 0)
            ended = detail::appendPdfPages(
                file.WorkingPath(), other.file.WorkingPath(), d_->fromSecond,
                [&file](const char* data, qsizetype n) { return file.Write(data, std::size_t(n)); }, file.Written());
        other.file.Discard();
    }
    if (file.Failed()) {
        const QString reason = file.ErrorText();
        file.Discard();
        d_->fail({QStringLiteral("无法写入文件"), reason});
    }
    if (secondFailure) {
        file.Discard();
        d_->fail(*secondFailure);
    }
    if (!ended || (file.IsOpen() && !file.WorkingPath().isEmpty() && QFileInfo(file.WorkingPath()).isFile() &&
                   !detail::pdfLooksComplete(file.WorkingPath()))) {
        file.Discard();
        d_->fail({QStringLiteral("无法写入文件"), QStringLiteral("PDF 没有写完整")});
    }
    if (!file.Commit())
        d_->fail({QStringLiteral("无法写入文件"), file.ErrorText()});
}

void TQRPdfWriter::Discard()
{
    if (!d_->finished)
        d_->discard();
}

}  // namespace qr

// zlib's deflateInit_ as zlib defines it (deflateInit2_ with the standard
// window and memory), with the default level lowered while our writers
// write pages.  A program's own definition comes before the library's, so
// Qt's calls arrive here; everything else keeps zlib's own behaviour.
extern "C" int deflateInit_(z_streamp strm, int level, const char* version, int streamSize)
{
    if (level == Z_DEFAULT_COMPRESSION && qr::writingPdfPages > 0)
        level = qr::kPdfPageCompression;
    return deflateInit2_(strm, level, Z_DEFLATED, MAX_WBITS, 8, Z_DEFAULT_STRATEGY, version, streamSize);
}
