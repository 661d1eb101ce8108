#pragma once

// The test class of the connection tests, whose cases are in two files.
#include <QObject>

class TestServerConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void endpointsDropSchemePrefixes();
    void plainServerAnswersFirstProbe();
    void checkConnectAnsweringZeroIsNoAnswer();
    void unreachableHostStaysOffline();
    void connectionThatCannotBeAskedSaysWhy_data();
    void connectionThatCannotBeAskedSaysWhy();
    void silentListenerCostsOnlyTheProbeTimes();
    void loginCredentials_data();
    void loginCredentials();
    void refusedCheckUserNameAndPassKeepsOffline();
    void onlyTheServersNoIsARefusal_data();
    void onlyTheServersNoIsARefusal();
    void emptyStatusListLogsIn();
    void slowServerHitsReceiveTimeout();
    void pingGoesThroughWhileWorkerHangs();
    void pingOnNeverConnectedAsksForConnect();
    void jobLocks();
    void failureOvertakenBySuccessKeepsOnline();
    void closingSendsCloseOnlyWhenOnline();
    void flowTable();
};
