#pragma once

#include <QWidget>

namespace vividra {

// A row of segments of which one is selected, drawn on a dark rounded field.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    SegmentedControl(int segmentCount, QWidget* parent = nullptr);

    int segmentCount() const { return count_; }
    int selectedSegment() const { return selected_; }
    // Selects without running the control's action.
    void setSelectedSegment(int index);
    // The title drawn for a segment: a two-segment control reads "Preview",
    // "Original"; any other reads "Brush", "Background", "Foreground", "Adjust".
    static QString segmentTitle(int segmentCount, int index);
    // Where a segment lies: as wide as its title, plus an even share of the room left over.
    QRectF segmentFrame(int index) const;

    QSize sizeHint() const override;

signals:
    // The user selected a segment.
    void segmentClicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int count_;
    int selected_ = 0;
};

} // namespace vividra
