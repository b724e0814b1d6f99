#pragma once
// The filter bar of the enhanced list view: one edit field under each column
// caption, with a filter button at its right. A column's filter is a text
// (type 0) or a number (type 1). Typing reports a change once no key came
// for the list's FilterTimeOut milliseconds; the button reports a click.
#include <QTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QHeaderView;
class QLineEdit;
class QToolButton;

class TEnhFilterBar : public QWidget {
    Q_OBJECT
public:
    TEnhFilterBar(QHeaderView *header, QWidget *parent);

    // Height the bar takes under the header.
    int BarHeight() const;
    // Follows the header's sections (count, positions, widths, scroll).
    void Relayout();

    // Type 0: the text (at most 255 characters); type 1: the number as text.
    std::string GetFilter(int Column, int FilterType) const;
    void SetFilter(int Column, int FilterType, int Value, const std::string &Text);

    int TimeOut = 500;
    std::function<void(int column)> OnChange, OnBtnClick;

    // The widgets of a column (for tests that type and click).
    QLineEdit *Edit(int Column) const;
    QToolButton *Button(int Column) const;

private:
    struct Field {
        QLineEdit *edit = nullptr;
        QToolButton *button = nullptr;
        int type = 0;
        int number = 0;
        std::string text;
    };
    void ensureFields(int n);
    void edited(int column);
    void timeout();

    QHeaderView *header_;
    std::vector<Field> fields_;
    QTimer timer_;
    int pendingColumn_ = -1;
};
