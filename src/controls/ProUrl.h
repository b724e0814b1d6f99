#pragma once
// Link controls: TProUrlLabel, a label that opens its address through the
// desktop when clicked and shows by its colour whether it is pressed, hovered
// or already visited; TProUrlImage, a picture that opens its address when
// clicked.
#include "controls/ProCtrls.h"
#include "controls/Provcl.h"

#include <QPixmap>
#include <QWidget>
#include <string>

class TProUrlLabel : public TProLabel {
    Q_OBJECT
    Q_PROPERTY(QString URL READ URLQ WRITE SetURLQ)
    Q_PROPERTY(uint UnvisitedColor READ UnvisitedColor WRITE SetUnvisitedColor)
    Q_PROPERTY(uint ActivatedColor READ ActivatedColor WRITE SetActivatedColor)
    Q_PROPERTY(uint VisitedColor READ VisitedColor WRITE SetVisitedColor)
    Q_PROPERTY(uint HoveredColor READ HoveredColor WRITE SetHoveredColor)
    Q_PROPERTY(bool CanHover READ CanHover WRITE SetCanHover)
public:
    explicit TProUrlLabel(QWidget *parent = nullptr);

    // The address opened by a click; the caption is opened when it is empty.
    const std::string &URL() const { return url_; }
    void SetURL(const std::string &url) { url_ = url; }
    TColor UnvisitedColor() const { return unvisitedColor_; }
    void SetUnvisitedColor(TColor c);
    // The colour while the left button is held down on the label.
    TColor ActivatedColor() const { return activatedColor_; }
    void SetActivatedColor(TColor c) { activatedColor_ = c; }
    TColor VisitedColor() const { return visitedColor_; }
    void SetVisitedColor(TColor c);
    // The colour while the pointer is over the label, when CanHover.
    TColor HoveredColor() const { return hoveredColor_; }
    void SetHoveredColor(TColor c) { hoveredColor_ = c; }
    // Hover effects: with them on, the underline shows only while the
    // pointer is over the label.
    bool CanHover() const { return canHover_; }
    void SetCanHover(bool on);
    // Whether a click has opened the address (for the life of the label).
    bool Visited() const { return visited_; }
    bool Pressed() const { return pressed_; }
    // Cursor number of the screen's cursor table (a hand, 15000, by default).
    int Cursor() const { return cursor_; }
    void SetCursor(int index);

protected:
    void MouseEnter() override;
    void MouseLeave() override;
    void FontChanged() override;
    bool WantsMouse() const override { return true; }
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString URLQ() const;
    void SetURLQ(const QString &s);
    void SetUnderline(bool on);
    TColor StateColor() const { return visited_ ? visitedColor_ : unvisitedColor_; }

    std::string url_;
    TColor unvisitedColor_ = clBlue;
    TColor activatedColor_ = clRed;
    TColor visitedColor_ = clNavy;
    TColor hoveredColor_ = clWhite;
    bool canHover_ = false;
    bool visited_ = false;
    bool pressed_ = false;
    int cursor_ = crProHandPoint;
};

// A picture that opens URL when clicked (nothing when URL is empty).
class TProUrlImage : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString URL READ URLQ WRITE SetURLQ)
public:
    explicit TProUrlImage(QWidget *parent = nullptr);

    const std::string &URL() const { return url_; }
    void SetURL(const std::string &url) { url_ = url; }
    const QPixmap &Picture() const { return picture_; }
    void SetPicture(const QPixmap &picture);
    int Cursor() const { return cursor_; }
    void SetCursor(int index);

signals:
    void clicked();

protected:
    virtual void Click();
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QString URLQ() const;
    void SetURLQ(const QString &s);

    std::string url_;
    QPixmap picture_;
    int cursor_ = crProHandPoint;
    bool leftDown_ = false;
};
