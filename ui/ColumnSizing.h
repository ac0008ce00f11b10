#pragma once

#include <QObject>
#include <QTimer>

class QHeaderView;

// A table's columns as wide as what they show, so that addresses, numbers,
// times and causes are read without dragging: sized to their contents (up
// to a third of a screen each) when the first rows come, or when the table
// first comes into sight with rows, and again as more
// come and as rows fill in, once a second for the first twenty seconds at
// most (then on the last row alone), until the user sizes a column; a
// column that already fits is never narrowed. The last column
// fills what room is left, but never below the width its contents took:
// where other columns grow past the view, the table scrolls instead of
// cutting the last one (a frame's Info) to nothing.
class ColumnSizing final : public QObject {
    Q_OBJECT
public:
    static void follow(QHeaderView* columns);

private:
    explicit ColumnSizing(QHeaderView* columns);
    void sizeToContents();
    void keepLastReadable();

    QHeaderView* columns_;
    QTimer pending_;
    int lastFloor_ = 0;    // what the last column's contents took
    int passes_ = 0;
    bool sizing_ = false;  // resizing here, not the user
    bool userSized_ = false;
    bool unsizedWhileHidden_ = false;
};
