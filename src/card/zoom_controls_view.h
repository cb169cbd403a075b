#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QSlider;

namespace vesker {

// The one-line zoom control under a large photo: a slider from 1 to 6 between buttons that
// step it, the factor, and "Reset".
class ZoomControls : public QWidget {
    Q_OBJECT
public:
    static constexpr double kMaxZoom = 6.0;
    static constexpr double kZoomStep = 0.5;

    explicit ZoomControls(QWidget* parent = nullptr);

    // The card's factor; not announced back.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }

Q_SIGNALS:
    // A change the user made with the slider, its step buttons or "Reset".
    void zoomChanged(double zoom);

private:
    void step(double by);
    void display(double zoom);

    double m_zoom = 1.0;
    QSlider* m_slider;
    QLabel* m_factor;
    QPushButton* m_reset;
};

} // namespace vesker
