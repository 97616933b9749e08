# Tests of the wrappers part of src/pdf.
