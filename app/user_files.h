#pragma once
// Where the per-user files live: beside the program when its folder is writable (a
// build tree or a portable copy), else in the user's XDG folders.

#include <QString>

struct UserFiles
{
    bool besideProgram = true;
    // Made the current directory, so relative log names (and ViewLog) resolve there.
    QString logFolder;
    // options.dat and the INI settings file: relative names beside the program, as
    // they always were, or absolute names in the configuration folder.
    QString optionsFile;
    QString settingsFile;
    // Empty, or why a folder could not be created; the saves then fail and say so.
    QString error;

    // Decides, creates the XDG folders when they are used, and makes logFolder current.
    static UserFiles settle(const QString& programFolder);
    // $XDG_CONFIG_HOME/veltran and $XDG_STATE_HOME/veltran, with the XDG defaults.
    static QString configFolder();
    static QString stateFolder();
};
