#pragma once
// One scan on a worker thread: created per scan, never reused.

#include <QThread>

class Scanner;

class ScanThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScanThread)

public:
    explicit ScanThread(Scanner& scanner);

    // The body of one scan, in step order; clears the busy flag however it ends.
    void Execute();

protected:
    void run() override;

private:
    void scanTcp();
    void scanUdp();
    void fillGridAndLog();

    Scanner& m_scanner;
};
