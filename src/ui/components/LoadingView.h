#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// A translucent overlay over the whole of its parent, with a busy indicator
// and a message, for work the user waits on. It follows the parent's size
// and takes the clicks meant for what lies below while it is shown.
class LoadingView final : public QWidget {
    Q_OBJECT

public:
    explicit LoadingView(const QString& message, QWidget* parent = nullptr);

    QString message() const;
    void setMessage(const QString& message);
    // The busy indicator's side: the regular indicator's 32 px, scaled by 1.5.
    static int indicatorSize();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void coverParent();

    QLabel* m_label;
};
