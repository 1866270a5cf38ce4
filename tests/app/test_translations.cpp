// Qt's own dialogs speak the desktop's language: Chinese on a Chinese
// desktop, English under the C locale.
#include "app/ui/VdTranslations.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace vdmq;

namespace {

QString buttonText(QDialogButtonBox::StandardButton which)
{
    QDialogButtonBox box(which);
    return box.button(which)->text();
}

}  // namespace

// One test, in this order: translators stay installed for the process.
TEST(QtTranslations, FollowTheLocale)
{
    EXPECT_FALSE(InstallQtTranslations(QLocale::c()));
    EXPECT_EQ(buttonText(QDialogButtonBox::Cancel), QStringLiteral("Cancel"));

    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China)))
        << "Qt's Chinese translations are missing (package qt6-translations-l10n)";
    const struct {
        QDialogButtonBox::StandardButton button;
        const char* text;
    } cases[] = {
        {QDialogButtonBox::Cancel, "取消"},
        {QDialogButtonBox::Ok, "确定"},
        {QDialogButtonBox::Save, "保存"},
        {QDialogButtonBox::Open, "打开"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(buttonText(c.button), QString::fromUtf8(c.text));
    }
    EXPECT_EQ(QCoreApplication::translate("QPrintDialog", "Print"), QStringLiteral("打印"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
}
