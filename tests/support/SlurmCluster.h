#pragma once
// Test support: a real one-node Slurm cluster on this machine, all of it in a temporary folder:
// a munge key and munged, slurmctld and slurmd with a minimal slurm.conf naming this host with
// its processors (no cgroups: proctrack/linuxproc, task/none; no accounting), on two free
// ports. The daemons run in the foreground as children of the test, end with it if it dies,
// and are stopped by their process ids when the cluster object goes.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "support/Programs.h"

class SlurmCluster {
public:
    // The largest job array the cluster takes: small, so that a backtest of a few steps needs
    // more than one array.
    static constexpr int kMaxArraySize = 3;

    SlurmCluster() = default;
    SlurmCluster(const SlurmCluster&) = delete;
    SlurmCluster& operator=(const SlurmCluster&) = delete;
    ~SlurmCluster() { stop(); }

    // Starts the daemons and waits until the node is idle; false with the reason (and the
    // daemons' logs) when the cluster does not come up.
    bool start(QString& error) {
        if (!dir_.isValid()) return fail(error, "no temporary folder");
        for (const char* tool : {"mungekey", "munged", "slurmctld", "slurmd", "sbatch", "squeue", "sinfo", "scancel"})
            if (QStandardPaths::findExecutable(tool, {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}).isEmpty())
                return fail(error, QString("%1 not found: scripts/install-deps.sh installs slurm-wlm and munge").arg(tool));
        for (const char* sub : {"munge", "state", "spool", "log"}) QDir(dir_.path()).mkpath(sub);
        QFile::setPermissions(path("munge"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const ProgramResult key = runProgram("mungekey", {"--create", "--keyfile=" + path("munge/munge.key")});
        if (key.code != 0) return fail(error, "mungekey failed: " + key.err);
        if (!writeConfig()) return fail(error, "cannot write " + path("slurm.conf"));
        startDaemon("munged", {"--foreground", "--force", "--key-file=" + path("munge/munge.key"), "--socket=" + path("munge/socket"),
                               "--pid-file=" + path("munge/munged.pid"), "--log-file=" + path("log/munged.log"),
                               "--seed-file=" + path("munge/munged.seed")});
        if (!waitFor([&] { return QFile::exists(path("munge/socket")); }))
            return fail(error, "munged did not start");
        startDaemon("slurmctld", {"-D", "-i", "-f", path("slurm.conf")});
        startDaemon("slurmd", {"-D", "-N", nodeName(), "-f", path("slurm.conf")});
        if (!waitFor([&] { return tool("sinfo", {"--noheader", "--format=%T"}).out.trimmed() == "idle"; }))
            return fail(error, "the node did not become idle");
        return true;
    }

    // The environment that makes Slurm's commands (and a backtest's) use this cluster.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SLURM_CONF", path("slurm.conf"));
        return env;
    }

    // Runs one of Slurm's commands on this cluster.
    ProgramResult tool(const QString& name, const QStringList& args) const { return runProgram(name, args, environment()); }

    // Whether squeue lists a task of these jobs (comma-separated ids) as pending or running.
    bool queued(const QString& jobs) const {
        return !tool("squeue", {"--noheader", "--array", "--jobs=" + jobs, "--format=%i"}).out.trimmed().isEmpty();
    }

    QString logs() const {
        QString text;
        for (const QString& f : QDir(path("log")).entryList(QDir::Files)) {
            QFile file(path("log/" + f));
            file.open(QIODevice::ReadOnly);
            text += "--- " + f + "\n" + QString::fromUtf8(file.readAll().right(3000)) + "\n";
        }
        for (const auto& d : daemons_) text += "--- " + d->program() + ": " + QString::fromUtf8(d->readAll().right(2000)) + "\n";
        return text;
    }

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    static QString nodeName() { return QSysInfo::machineHostName().section('.', 0, 0); }
    static QString userName() {
        const passwd* pw = getpwuid(getuid());
        return pw ? QString::fromLocal8Bit(pw->pw_name) : QString("root");
    }

    bool fail(QString& error, const QString& why) {
        error = "Slurm cannot start on this machine: " + why + "\n" + logs();
        stop();
        return false;
    }

    // Two ports nothing listens on now (taken from the kernel, then let go).
    static std::vector<int> freePorts(int count) {
        std::vector<int> fds, ports;
        for (int i = 0; i < count; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t len = sizeof a;
            bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
            fds.push_back(fd);
            ports.push_back(ntohs(a.sin_port));
        }
        for (int fd : fds) close(fd);
        return ports;
    }

    bool writeConfig() {
        const std::vector<int> ports = freePorts(2);
        const QString user = userName();
        const QStringList lines{
            "ClusterName=velkortest",
            QString("SlurmctldHost=%1(127.0.0.1)").arg(nodeName()),
            QString("SlurmctldPort=%1").arg(ports[0]),
            QString("SlurmdPort=%1").arg(ports[1]),
            "SlurmUser=" + user,
            "SlurmdUser=" + user,
            "AuthType=auth/munge",
            "CredType=cred/munge",
            "AuthInfo=socket=" + path("munge/socket"),
            "StateSaveLocation=" + path("state"),
            "SlurmdSpoolDir=" + path("spool"),
            "SlurmctldPidFile=" + path("slurmctld.pid"),
            "SlurmdPidFile=" + path("slurmd.pid"),
            "SlurmctldLogFile=" + path("log/slurmctld.log"),
            "SlurmdLogFile=" + path("log/slurmd.log"),
            "ProctrackType=proctrack/linuxproc",
            "TaskPlugin=task/none",
            "JobAcctGatherType=jobacct_gather/none",
            "AccountingStorageType=accounting_storage/none",
            "JobCompType=jobcomp/none",
            "SelectType=select/cons_tres",
            "SelectTypeParameters=CR_CPU",
            "MpiDefault=none",
            "MailProg=/bin/true",
            "ReturnToService=2",
            "KillWait=5",
            QString("MaxArraySize=%1").arg(kMaxArraySize),
            QString("NodeName=%1 NodeAddr=127.0.0.1 CPUs=%2 State=UNKNOWN").arg(nodeName()).arg(QThread::idealThreadCount()),
            QString("PartitionName=debug Nodes=%1 Default=YES MaxTime=INFINITE State=UP").arg(nodeName()),
        };
        QFile f(path("slurm.conf"));
        return f.open(QIODevice::WriteOnly) && f.write((lines.join('\n') + '\n').toUtf8()) > 0;
    }

    void startDaemon(const QString& program, const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(environment());
        p->setProcessChannelMode(QProcess::MergedChannels);
        // The daemon ends with the test process, however that ends.
        p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        p->start(program, args);
        p->waitForStarted();
        daemons_.push_back(std::move(p));
    }

    // Waits up to 30 s for `ready`; false at once when a daemon has ended.
    template <class Ready>
    bool waitFor(Ready ready) const {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000) {
            for (const auto& d : daemons_)
                if (d->state() == QProcess::NotRunning) return false;
            if (ready()) return true;
            QThread::msleep(200);
        }
        return false;
    }

    // Cancels every job, waits for them to leave, then ends slurmd, slurmctld and munged in turn
    // (SIGTERM to each process id, SIGKILL when it does not end).
    void stop() {
        if (daemons_.size() == 3) {
            tool("scancel", {"--user=" + userName()});
            waitFor([&] { return tool("squeue", {"--noheader"}).out.trimmed().isEmpty(); });
        }
        while (!daemons_.empty()) {
            QProcess& p = *daemons_.back();
            if (p.state() != QProcess::NotRunning) {
                p.terminate();
                if (!p.waitForFinished(10000)) {
                    p.kill();
                    p.waitForFinished();
                }
            }
            daemons_.pop_back();
        }
    }

    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QProcess>> daemons_;  // munged, slurmctld, slurmd
};
