#!/usr/bin/python3
"""The store of a real yrcloud driven by boto3, an S3 client nobody here wrote.

Usage: boto3_interop.py YRCLOUD_EXECUTABLE

Starts yrcloud on a free loopback port in a temporary directory, signs in a user through the
session, and checks put, get, ranged get, head, listing with continuation, multi-delete, an
upload in parts, a presigned GET, and that a wrong secret is refused with
SignatureDoesNotMatch.
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest
import urllib.request

import boto3
import botocore
from botocore.config import Config
from boto3.s3.transfer import TransferConfig

YRCLOUD = sys.argv.pop(1) if len(sys.argv) > 1 else None


class Boto3Interop(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = tempfile.TemporaryDirectory()
        added = subprocess.run([YRCLOUD, "user", "add", "boto", "--data", cls.data.name],
                               check=True, capture_output=True, text=True)
        user = json.loads(added.stdout)
        cls.log = open(os.path.join(cls.data.name, "yrcloud.log"), "w")
        cls.server = subprocess.Popen(
            [YRCLOUD, "serve", "--data", cls.data.name, "--listen", "127.0.0.1:0"],
            stdout=subprocess.PIPE, stderr=cls.log, text=True)
        address = cls.server.stdout.readline().strip()
        request = urllib.request.Request("http://%s/api/session" % address,
                                         headers={"Authorization": "Bearer " + user["token"]})
        session = json.load(urllib.request.urlopen(request))
        cls.storage = session["storage"]
        cls.prefix = "plan/%s/boto3/" % session["uid"]
        cls.s3 = cls.client(cls.storage["secretAccessKey"])

    @classmethod
    def tearDownClass(cls):
        cls.server.terminate()
        code = cls.server.wait(30)
        cls.log.close()
        with open(os.path.join(cls.data.name, "yrcloud.log")) as log:
            # A clean exit: no sanitizer report, no leak.
            assert code == 0, "yrcloud exited with %d:\n%s" % (code, log.read())
        cls.data.cleanup()

    @classmethod
    def client(cls, secret):
        return boto3.client(
            "s3", endpoint_url=cls.storage["endpoint"], region_name=cls.storage["region"],
            aws_access_key_id=cls.storage["accessKeyId"], aws_secret_access_key=secret,
            config=Config(signature_version="s3v4", s3={"addressing_style": "path"},
                          retries={"max_attempts": 1}))

    def test_put_get_range_head(self):
        key = self.prefix + "课件 一.txt"
        body = bytes(range(256)) * 40
        put = self.s3.put_object(Bucket="plan-files", Key=key, Body=body,
                                 ContentType="text/plain", Metadata={"author": "boto"})
        got = self.s3.get_object(Bucket="plan-files", Key=key)
        self.assertEqual(got["Body"].read(), body)
        self.assertEqual(got["ETag"], put["ETag"])
        self.assertEqual(got["Metadata"], {"author": "boto"})
        ranged = self.s3.get_object(Bucket="plan-files", Key=key, Range="bytes=10-19")
        self.assertEqual(ranged["Body"].read(), body[10:20])
        self.assertEqual(ranged["ContentRange"], "bytes 10-19/%d" % len(body))
        head = self.s3.head_object(Bucket="plan-files", Key=key)
        self.assertEqual(head["ContentLength"], len(body))
        self.assertEqual(head["ContentType"], "text/plain")

    def test_checksums(self):
        for algorithm in ("CRC32", "CRC32C", "SHA1", "SHA256"):
            try:
                self.s3.put_object(Bucket="plan-files", Key=self.prefix + algorithm,
                                   Body=b"checked " * 100, ChecksumAlgorithm=algorithm)
            except botocore.exceptions.BotoCoreError:
                if algorithm == "CRC32C":
                    continue  # boto3 computes CRC32C only with the AWS CRT, which may be missing
                raise
            got = self.s3.get_object(Bucket="plan-files", Key=self.prefix + algorithm)
            self.assertEqual(got["Body"].read(), b"checked " * 100)

    def test_list_with_continuation_and_delete(self):
        folder = self.prefix + "list/"
        keys = [folder + "%02d" % i for i in range(7)]
        for key in keys:
            self.s3.put_object(Bucket="plan-files", Key=key, Body=key.encode())
        listed = []
        pages = self.s3.get_paginator("list_objects_v2").paginate(
            Bucket="plan-files", Prefix=folder, PaginationConfig={"PageSize": 3})
        for page in pages:
            self.assertLessEqual(page["KeyCount"], 3)
            listed += [item["Key"] for item in page.get("Contents", [])]
        self.assertEqual(listed, keys)
        deleted = self.s3.delete_objects(
            Bucket="plan-files", Delete={"Objects": [{"Key": key} for key in keys[:5]]})
        self.assertEqual(sorted(item["Key"] for item in deleted["Deleted"]), keys[:5])
        left = self.s3.list_objects_v2(Bucket="plan-files", Prefix=folder)
        self.assertEqual([item["Key"] for item in left["Contents"]], keys[5:])

    def test_upload_in_parts(self):
        body = os.urandom(12 * 1024 * 1024)
        path = os.path.join(self.data.name, "large.bin")
        with open(path, "wb") as large:
            large.write(body)
        config = TransferConfig(multipart_threshold=5 * 1024 * 1024,
                                multipart_chunksize=5 * 1024 * 1024)
        self.s3.upload_file(path, "plan-files", self.prefix + "large.bin", Config=config)
        head = self.s3.head_object(Bucket="plan-files", Key=self.prefix + "large.bin")
        self.assertTrue(head["ETag"].endswith('-3"'))
        got = self.s3.get_object(Bucket="plan-files", Key=self.prefix + "large.bin")
        self.assertEqual(got["Body"].read(), body)

    def test_presigned_get(self):
        self.s3.put_object(Bucket="plan-files", Key=self.prefix + "shared", Body=b"presigned")
        url = self.s3.generate_presigned_url(
            "get_object", Params={"Bucket": "plan-files", "Key": self.prefix + "shared"},
            ExpiresIn=60)
        self.assertEqual(urllib.request.urlopen(url).read(), b"presigned")

    def test_wrong_secret_is_refused(self):
        self.s3.put_object(Bucket="plan-files", Key=self.prefix + "kept", Body=b"kept")
        wrong = self.client("not the secret")
        for call in (lambda: wrong.get_object(Bucket="plan-files", Key=self.prefix + "kept"),
                     lambda: wrong.put_object(Bucket="plan-files", Key=self.prefix + "kept",
                                              Body=b"changed")):
            with self.assertRaises(botocore.exceptions.ClientError) as refused:
                call()
            self.assertEqual(refused.exception.response["Error"]["Code"],
                             "SignatureDoesNotMatch")
        got = self.s3.get_object(Bucket="plan-files", Key=self.prefix + "kept")
        self.assertEqual(got["Body"].read(), b"kept")

    def test_other_users_keys_are_refused(self):
        with self.assertRaises(botocore.exceptions.ClientError) as refused:
            self.s3.put_object(Bucket="plan-files", Key="plan/1/other", Body=b"x")
        self.assertEqual(refused.exception.response["Error"]["Code"], "AccessDenied")


if __name__ == "__main__":
    if not YRCLOUD:
        sys.exit(__doc__)
    unittest.main(verbosity=2)
