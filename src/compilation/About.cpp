#include "compilation/About.h"

#include "controls/ProCtrls.h"
#include "controls/ProUrl.h"
#include "controls/TextFade.h"
#include "platform/Graphics.h"
#include "platform/Rtl.h"
#include "ui_About.h"

#include <QMouseEvent>

TAboutForm *AboutForm = nullptr;

namespace {

QFont boldItalicArial(int points)
{
    QFont f("Arial", points);
    f.setBold(true);
    f.setItalic(true);
    return f;
}

} // namespace

std::vector<std::string> TAboutForm::Credits()
{
    return {
        "QUILLFERN",
        "QUILLFERN",
        "thanks to...",
        "",
        "our beta tester, for every tape he recorded twice",
        "the people behind freedb, the free online CD database",
        "the authors of the freedb server software",
        "the authors of the Net Library",
        "the authors of the text fader component",
        "the authors of the report components",
        "the makers of the list view components",
        "the makers of our development tools",
        "everyone who sent an entry to the online database",
        "thanks goes to everyone who, everyday, gives efforts",
        "to the FREE SOFTWARE community...",
        "Thanks to everyone...",
        "",
        "QUILLFERN",
        "QUILLFERN",
    };
}

TAboutForm::TAboutForm(QWidget *parent) : QDialog(parent), ui(new Ui::TAboutForm)
{
    ui->setupUi(this);
    AboutForm = this;
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(662, 323);

    TTextFader *f = ui->TextFader;
    f->SetLines(Credits());
    f->SetLineDelay(3500);
    f->SetBackgroundMode(bmNone);
    f->setFont(boldItalicArial(10));
    f->SetFontColor(clTeal);

    for (TProLabel *l : {ui->VersionLbl, ui->VersionNum, ui->CommonNameLbl, ui->BuildLbl, ui->BuildNum}) {
        l->setFont(boldItalicArial(9));
        l->SetTransparent(true);
    }
    ui->VersionLbl->SetCaption("Version");
    ui->VersionNum->SetCaption("0.0.0");
    ui->VersionNum->SetAlignment(taCenter);
    ui->CommonNameLbl->SetCaption("RC1");
    ui->CommonNameLbl->SetAlignment(taCenter);
    ui->BuildLbl->SetCaption("( Build ");
    ui->BuildNum->SetCaption("000 )");
    ui->BuildNum->SetAlignment(taCenter);

    struct Link { TProUrlLabel *label; const char *caption; const char *url; } links[] = {
        {ui->httpurllbl, "http://www.quillfern.com", "http://www.quillfern.com/"},
        {ui->emailurllbl, "info@quillfern.com", "mailto:info@quillfern.com?subject=info"},
    };
    for (const Link &l : links) {
        QFont font = l.label->font();
        font.setUnderline(true);
        l.label->setFont(font);
        l.label->SetTransparent(true);
        l.label->SetCaption(l.caption);
        l.label->SetURL(l.url);
        l.label->SetUnvisitedColor(clBlue);
        l.label->SetVisitedColor(clBlue);
        l.label->SetHoveredColor(clYellow);
        l.label->SetCanHover(false);
    }
}

TAboutForm::~TAboutForm()
{
    if (AboutForm == this)
        AboutForm = nullptr;
    delete ui;
}

void TAboutForm::SetVersion(const std::array<int, 4> &v)
{
    using Rtl::IntToStr;
    ui->VersionNum->SetCaption(IntToStr(v[0]) + "." + IntToStr(v[1]) + "." + IntToStr(v[2]));
    ui->CommonNameLbl->SetCaption("RC1");
    ui->BuildNum->SetCaption(IntToStr(v[3]) + " )");
}

void TAboutForm::FormShow()
{
    ui->TextFader->Reset();
    ui->TextFader->SetActive(true);
}

void TAboutForm::FormClick()
{
    ui->TextFader->SetActive(false);
    accept();
}

void TAboutForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    FormShow();
}

// Presses that no child keeps (the link labels keep theirs) arrive here.
void TAboutForm::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton)
        FormClick();
}
