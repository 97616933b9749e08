# Tests of the fetcher part of src/pdf.
