#!/usr/bin/python3
"""Reads the demo server's data through the published service description
with zeep, a SOAP stack that shares nothing with ours.

Usage: zeep_roundtrip.py <vornex-testserver> <folder with Service.wsdl>
"""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest

import requests
import zeep
import zeep.transports

USER = "zeep"
PASSWORD = "s3cret pass"


class ZeepRoundTrip(unittest.TestCase):
    server = None
    work = None
    service = None

    @classmethod
    def setUpClass(cls):
        program, docs = sys.argv[1], sys.argv[2]
        cls.work = tempfile.mkdtemp(prefix="zeep_roundtrip-")
        cls.server = subprocess.Popen(
            [program, "--demo", "--port", "0", "--work-dir", cls.work,
             "--user", USER, "--password", PASSWORD],
            stdout=subprocess.PIPE, text=True)
        port = None
        # The server names its port on its second line; a few lines at most.
        for _ in range(5):
            line = cls.server.stdout.readline()
            if line.startswith("port "):
                port = int(line.split()[1])
                break
        if not port:
            cls.tearDownClass()
            raise RuntimeError("the test server did not name its port")
        session = requests.Session()
        session.auth = (USER, PASSWORD)
        transport = zeep.transports.Transport(session=session, timeout=10, operation_timeout=10)
        client = zeep.Client(os.path.join(docs, "Service.wsdl"), transport=transport)
        binding = next(iter(client.wsdl.bindings))
        cls.client = client
        cls.service = client.create_service(binding, "http://127.0.0.1:%d/" % port)

    @classmethod
    def tearDownClass(cls):
        if cls.server:
            cls.server.terminate()
            try:
                cls.server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                cls.server.kill()
                cls.server.wait(timeout=10)
            cls.server.stdout.close()
        if cls.work:
            shutil.rmtree(cls.work, ignore_errors=True)

    def test_login_and_flags(self):
        self.assertEqual(self.service.CheckUserNameAndPass(), 1)
        self.assertIs(type(self.service.GetCompressClientJobs()), bool)

    def test_wrong_password_is_refused(self):
        session = requests.Session()
        session.auth = (USER, "not it")
        transport = zeep.transports.Transport(session=session, timeout=10, operation_timeout=10)
        other = zeep.Client(os.path.join(sys.argv[2], "Service.wsdl"), transport=transport)
        service = other.create_service(next(iter(other.wsdl.bindings)), self.service._binding_options["address"])
        with self.assertRaises(zeep.exceptions.Fault) as raised:
            service.CheckUserNameAndPass()
        self.assertIn("401", str(raised.exception))

    def test_flows_and_points(self):
        flows = {f.flowId: f for f in self.service.GetFlowList07()}
        self.assertEqual(sorted(flows), ["flow-archive", "flow-idle", "flow-print"])
        self.assertEqual(self.service.GetFlowName("flow-print"), "Print Production")
        self.assertEqual(self.service.GetFlowState("flow-idle"), 0)
        points = self.service.GetSubmitPoints07(["flow-print"])
        names = sorted(p.spData.name for entry in points for p in entry.submitPoints)
        self.assertEqual(names, ["New Orders", "Quick Print"])
        self.assertEqual(self.service.GetCheckPointName("flow-print", "cp-press"), "Press Check")

    def test_checkpoint_jobs(self):
        self.assertEqual(self.service.GetCheckpointJobsCount("flow-print", "cp-proof"), 3)
        infos = {i.jobId: i.jobInfo[0] for i in self.service.GetCheckpointJobsInfo("flow-print", "cp-proof")}
        self.assertEqual(sorted(infos), ["job-101", "job-102", "job-103"])
        brochure, flyer = infos["job-101"], infos["job-103"]
        self.assertEqual(brochure.jobName, "Brochure.pdf")
        # xsd:long and xsd:boolean arrive as Python integers and booleans.
        self.assertIs(type(brochure.jobSize), int)
        self.assertGreaterEqual(brochure.jobSize, 48 * 1024)
        self.assertLess(brochure.jobSize, 48 * 1024 + 4096)
        self.assertIs(brochure.jobEnableReportViewing, True)
        self.assertIs(flyer.jobEnableReportViewing, False)
        self.assertIs(brochure.jobAllowReplacingJob, True)
        self.assertIs(brochure.jobRequiresMetadata, True)
        self.assertEqual(brochure.jobReportName, "Brochure.pdf report.txt")
        required = {m.mtfLabel: m for m in brochure.jobRequiredMetadata}
        self.assertIs(required["Approved by"].mtfValueIsRequired, True)
        self.assertIs(required["Approved by"].mtfRememberLastValue, True)
        self.assertIs(required["Proof OK"].mtfRememberLastValue, False)

    def test_progress_and_log(self):
        progress = self.service.GetProgressData(24)
        self.assertEqual(len(progress), 12)
        self.assertEqual({p.serverName for p in progress}, {"Demo Workflow Server"})
        # The first record only carries the newest time stamp.
        logs = self.service.GetLogData07("")[1:]
        self.assertEqual(sorted(l.recId for l in logs), list(range(1, 301)))
        self.assertEqual({l.serverName for l in logs}, {"Demo Workflow Server"})


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
